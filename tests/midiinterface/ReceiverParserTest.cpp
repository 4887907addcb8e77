// The SysEx parser on packet lists fed directly, as the MIDI service's delivery thread would.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/virtual/VirtualMidiService.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

class Parser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_service.clientCreate("test", nullptr, nullptr, &m_client), MidiStatus::ok);
        fresh();
    }
    // A receiver with a clean parser and no failure, as a new recording has.
    void fresh() { m_receiver = std::make_unique<TQMidiInterfaceReceiver>(m_service, m_client, 0); }

    // One delivery of the given packets.
    void feed(std::initializer_list<Bytes> packets) {
        std::vector<MidiPacket> list;
        for (const Bytes& p : packets) {
            list.push_back(MidiPacket{0, p});
        }
        m_receiver->readData(&m_dump, list);
    }

    std::vector<Bytes> stored() const {
        std::vector<Bytes> all;
        for (const midi::event& e : m_dump) {
            all.emplace_back(e.begin(), e.end());
            EXPECT_EQ(e.m_offset, 0.0);
        }
        return all;
    }

    bool began() const { return m_receiver->m_didRecordingBegin; }
    bool active() const { return m_receiver->m_isStillRecording; }

    VirtualMidiService m_service;
    MIDIClientRef m_client = 0;
    std::unique_ptr<TQMidiInterfaceReceiver> m_receiver;
    Dump m_dump;
};

TEST_F(Parser, OneMessageInAnySplit) {
    feed({{0xF0, 0x7D, 0x01, 0x02, 0xF7}});
    EXPECT_EQ(stored(), (std::vector<Bytes>{{0xF0, 0x7D, 0x01, 0x02, 0xF7}}));
    EXPECT_TRUE(began());
    EXPECT_TRUE(active());

    m_dump.clear();
    feed({{0xF0, 0x7D}, {0x01}, {}, {0x02, 0xF7}}); // three packets and an empty one
    feed({{0xF0}});                                 // and over several deliveries
    feed({{0x7D, 0x01}});
    feed({{}});
    feed({{0x02, 0xF7}});
    EXPECT_EQ(stored(),
              (std::vector<Bytes>{{0xF0, 0x7D, 0x01, 0x02, 0xF7}, {0xF0, 0x7D, 0x01, 0x02, 0xF7}}));
}

TEST_F(Parser, RealTimeBytesStandInsideMessages) {
    feed({{0xF0, 0x01, 0xF8, 0x02, 0xFE}, {0xFE}, {0x03, 0xFF, 0xF7, 0xF0, 0x04, 0xF7}});
    EXPECT_EQ(stored(), (std::vector<Bytes>{{0xF0, 0x01, 0x02, 0x03, 0xF7}, {0xF0, 0x04, 0xF7}}));
    // Active sensing alone is no activity: it never keeps a recording going.
    m_receiver->m_isStillRecording = false;
    feed({{0xFE}});
    EXPECT_FALSE(active());
    EXPECT_TRUE(m_receiver->outcome().complete());
}

TEST_F(Parser, ACutOffMessageFailsTheRecording) {
    for (uint8_t status : {0xF0, 0x90, 0xB0, 0xF1, 0xF6}) {
        fresh();
        feed({{0xF0, 0x01, status, 0x02, 0xF7, 0xF0, 0x05, 0xF7}});
        const RecordingOutcome outcome = m_receiver->outcome();
        EXPECT_EQ(outcome.failure, RecordingFailure::messageCutOff) << int(status);
        EXPECT_EQ(outcome.reason,
                  "A message was cut off: another MIDI message began before its end.");
    }
    // A recording that ends inside a message.
    fresh();
    feed({{0xF0, 0x01, 0xF7, 0xF0, 0x02}});
    EXPECT_TRUE(m_receiver->outcome().complete());
    m_receiver->recordOff();
    EXPECT_EQ(m_receiver->outcome().reason, "The last message was cut off.");
}

TEST_F(Parser, NewsOfTheConnectionFailsTheRecording) {
    const std::pair<MidiPacketKind, RecordingFailure> news[] = {
        {MidiPacketKind::bytesLost, RecordingFailure::bytesLost},
        {MidiPacketKind::sourceGone, RecordingFailure::inputGone}};
    for (const auto& [kind, failure] : news) {
        fresh();
        const Bytes one{0xF0, 0x01, 0xF7};
        const std::vector<MidiPacket> packets{{0, one}, {0, {}, kind}, {0, one}};
        m_receiver->readData(&m_dump, packets);
        EXPECT_TRUE(m_receiver->didFail());
        EXPECT_EQ(m_receiver->outcome().failure, failure);
    }
}

TEST_F(Parser, NewsOfASharedInputNamesTheOtherProgram) {
    const Bytes one{0xF0, 0x01, 0xF7};
    const MidiPacket shared{0, {}, MidiPacketKind::bytesLost, "159 aseqdump"};
    // Also when our own reading's loss was seen first: the program to quit is what helps.
    for (const MidiPacket& first :
         {MidiPacket{0, one}, MidiPacket{0, {}, MidiPacketKind::bytesLost}}) {
        fresh();
        const std::vector<MidiPacket> packets{first, shared, {0, one}};
        m_receiver->readData(&m_dump, packets);
        EXPECT_EQ(m_receiver->outcome().reason,
                  "Bytes were lost: the kernel's buffer for this input overflowed while aseqdump "
                  "(pid 159) listened to it too. Quit aseqdump, or stop it from listening to this "
                  "input, and receive again.");
    }
}

TEST_F(Parser, AnAccountOfLostBytesExplainsACutOffMessageWhicheverCameFirst) {
    using namespace std::chrono;
    const uint64_t now = static_cast<uint64_t>(
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    const Bytes cut{0xF0, 0x01, 0x02, 0xF0, 0x03, 0xF7};
    const std::pair<MidiPacket, RecordingFailure> accounts[] = {
        {{0, {}, MidiPacketKind::bytesLost}, RecordingFailure::bytesLost},
        {{0, {}, MidiPacketKind::bytesLost, "159 aseqdump"}, RecordingFailure::sharedInputLost},
        {{now, {}, MidiPacketKind::cyclesMissed}, RecordingFailure::cyclesMissed},
        {{0, {}, MidiPacketKind::sourceGone}, RecordingFailure::inputGone}};
    for (const auto& [account, failure] : accounts) {
        for (const bool accountFirst : {false, true}) {
            fresh();
            m_dump.clear();
            if (accountFirst) {
                m_receiver->readData(&m_dump, std::span(&account, 1));
            }
            feed({cut});
            if (!accountFirst) {
                m_receiver->readData(&m_dump, std::span(&account, 1));
            }
            EXPECT_EQ(m_receiver->outcome().failure, failure) << accountFirst;
        }
    }
    // Also for a recording that ended inside a message; a stop explains nothing, and leaves the
    // parser's reason.
    fresh();
    feed({{0xF0, 0x01}});
    m_receiver->recordOff();
    const MidiPacket lost{0, {}, MidiPacketKind::bytesLost};
    m_receiver->readData(&m_dump, std::span(&lost, 1));
    EXPECT_EQ(m_receiver->outcome().failure, RecordingFailure::bytesLost);
    fresh();
    feed({cut});
    m_receiver->stop();
    EXPECT_EQ(m_receiver->outcome().failure, RecordingFailure::messageCutOff);
}

TEST_F(Parser, MissedCyclesCountFrom300msBeforeTheDump) {
    using namespace std::chrono;
    const auto ago = [](milliseconds before) {
        return static_cast<uint64_t>(
            duration_cast<nanoseconds>((steady_clock::now() - before).time_since_epoch()).count());
    };
    const Bytes one{0xF0, 0x01, 0xF7};
    // (when the cycles were missed, whether news of it comes after the first byte, fails)
    const std::tuple<milliseconds, bool, bool> cases[] = {
        {2000ms, false, false}, {2000ms, true, false}, {100ms, false, true}, {0ms, true, true}};
    for (const auto& [before, afterFirstByte, fails] : cases) {
        fresh();
        m_dump.clear();
        const MidiPacket miss{ago(before), {}, MidiPacketKind::cyclesMissed};
        if (afterFirstByte) {
            feed({one});
        }
        m_receiver->readData(&m_dump, std::span(&miss, 1));
        feed({one});
        EXPECT_EQ(m_receiver->didFail(), fails) << before.count() << " " << afterFirstByte;
    }
    EXPECT_EQ(m_receiver->outcome().reason,
              "Bytes may have been lost: JACK missed processing cycles during the recording. Run "
              "JACK with realtime scheduling or a larger period, and receive again.");

    // An input that goes away costs a cycle on its way out: its leaving is the reason kept,
    // and no later reason replaces that.
    const MidiPacket gone{0, {}, MidiPacketKind::sourceGone};
    const MidiPacket lost{0, {}, MidiPacketKind::bytesLost};
    m_receiver->readData(&m_dump, std::span(&gone, 1));
    m_receiver->readData(&m_dump, std::span(&lost, 1));
    EXPECT_EQ(m_receiver->outcome().failure, RecordingFailure::inputGone);
}

TEST_F(Parser, NonSysExDataIsDroppedWithoutActivity) {
    feed({{0x90, 0x40, 0x7F, 0x41, 0x7F}, {0x80, 0x40, 0x00}});
    EXPECT_TRUE(stored().empty());
    EXPECT_FALSE(began());
    EXPECT_FALSE(active());

    feed({{0xF7}}); // a lone end byte
    EXPECT_TRUE(stored().empty());
    EXPECT_FALSE(began());
    EXPECT_TRUE(active());
}

TEST_F(Parser, EachRecordingStartsClean) {
    // A recording that ended inside a message...
    feed({{0xF0, 0x11, 0x22}});
    // ...and the next one starting with data bytes: they must not become a message without
    // its F0.
    m_receiver->recordOn(m_dump);
    m_receiver->recordOff();
    feed({{0x33, 0x44, 0xF7}});
    EXPECT_TRUE(stored().empty());
    feed({{0xF0, 0x55, 0xF7}});
    EXPECT_EQ(stored(), (std::vector<Bytes>{{0xF0, 0x55, 0xF7}}));
}

TEST_F(Parser, LargeMessagesInSmallPackets) {
    Bytes message(100000, 0x42);
    message.front() = 0xF0;
    message.back() = 0xF7;
    for (std::size_t at = 0; at < message.size(); at += 7) {
        const std::size_t n = std::min<std::size_t>(7, message.size() - at);
        feed({Bytes(message.begin() + at, message.begin() + at + n)});
    }
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(stored()[0], message);
}

TEST_F(Parser, AnEndlessMessageIsDroppedNotHeld) {
    // A source that never ends its message cannot make us hold more than the bound.
    Bytes chunk(1 << 20, 0x11);
    feed({{0xF0}});
    for (std::size_t sent = 0; sent <= TQMidiInterfaceReceiver::kMaxMessageBytes;
         sent += chunk.size()) {
        feed({chunk});
    }
    EXPECT_EQ(m_receiver->outcome().failure, RecordingFailure::tooLarge);
    EXPECT_LE(m_receiver->m_event->capacity(), chunk.size());
    feed({chunk, {0xF7}});
    EXPECT_TRUE(stored().empty());
    // The next message is taken as usual.
    feed({{0xF0, 0x01, 0xF7}});
    EXPECT_EQ(stored(), (std::vector<Bytes>{{0xF0, 0x01, 0xF7}}));
}

} // namespace
