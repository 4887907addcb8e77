// Recording from a source of the virtual MIDI service: the wait for the beginning, the
// silence that ends a recording, and a gap that cuts it.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/virtual/VirtualMidiService.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

const MidiServiceBase::EndpointId kSynth{"KoRvO", "Synth out"};

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        m_service.addSource(kSynth);
        ASSERT_EQ(m_service.clientCreate("test", nullptr, nullptr, &m_client), MidiStatus::ok);
        m_receiver =
            TQMidiInterfaceReceiver::TQMidiInterfaceReceiverWithClient(m_service, m_client, 0);
    }

    static Bytes sysex(std::size_t size, uint8_t fill) {
        Bytes b(size, fill);
        b.front() = 0xF0;
        b.back() = 0xF7;
        return b;
    }

    VirtualMidiService m_service;
    MIDIClientRef m_client = 0;
    std::shared_ptr<TQMidiInterfaceReceiver> m_receiver;
    Dump m_dump;
};

TEST_F(Recording, NothingConnectedBeforeRecordOn) {
    m_service.playBytes(kSynth, sysex(10, 1), 10);
    m_service.waitUntilPlayed();
    EXPECT_FALSE(m_receiver->didRecordingBegin());
}

TEST_F(Recording, NoDataEndsAtTheTimeout) {
    m_dump.push_back(midi::event{0x01});
    m_receiver->recordOn(m_dump);
    EXPECT_TRUE(m_dump.empty()); // recordOn empties the list
    const auto start = Clock::now();
    EXPECT_FALSE(m_receiver->waitForRecordOffWithTimeout(0));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 300ms); // the pause of record off

    m_receiver->recordOn(m_dump);
    const auto start1 = Clock::now();
    EXPECT_FALSE(m_receiver->waitForRecordOffWithTimeout(1));
    EXPECT_GE(Clock::now() - start1, 1300ms);
    EXPECT_TRUE(m_dump.empty());
}

TEST_F(Recording, SilenceEndsARecordingAndAGapCutsIt) {
    m_receiver->recordOn(m_dump);
    // Three messages in pieces, then after a 1 s gap a fourth that must not be recorded.
    Bytes stream;
    for (uint8_t i = 1; i <= 3; ++i) {
        const Bytes m = sysex(2000, i);
        stream.insert(stream.end(), m.begin(), m.end());
    }
    m_service.playBytes(kSynth, stream, 64, 200ms);
    m_service.playBytes(kSynth, sysex(10, 4), 10, 1000ms);

    const auto start = Clock::now();
    EXPECT_TRUE(m_receiver->waitForRecordOffWithTimeout(2));
    const auto took = Clock::now() - start;
    // Data ends about 200 ms in; silence of 300 to 600 ms, then 300 ms of record off. That
    // the gap cut it shows in the messages kept.
    EXPECT_GE(took, 700ms);
    m_service.waitUntilPlayed();
    ASSERT_EQ(m_dump.size(), 3u);
    for (uint8_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Bytes(m_dump[i].begin(), m_dump[i].end()), sysex(2000, i + 1));
    }
}

TEST_F(Recording, ALateStartIsRecordedWhole) {
    m_receiver->recordOn(m_dump);
    m_service.playBytes(kSynth, sysex(100, 9), 100, 1500ms);
    EXPECT_TRUE(m_receiver->waitForRecordOffWithTimeout(3));
    ASSERT_EQ(m_dump.size(), 1u);
    EXPECT_EQ(m_dump[0].size(), 100u);
}

TEST_F(Recording, ActivityPolling) {
    m_receiver->recordOn(m_dump);
    // One message dribbling in over about a second.
    const Bytes message = sysex(200, 2);
    for (std::size_t at = 0; at < message.size(); at += 10) {
        m_service.play(kSynth, {{Bytes(message.begin() + at, message.begin() + at + 10)}}, 50ms);
    }
    while (!m_receiver->didRecordingBegin()) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(m_receiver->isStillRecording());
    m_service.waitUntilPlayed();
    EXPECT_FALSE(m_receiver->isStillRecording());
    m_receiver->recordOff();
    EXPECT_EQ(m_dump.size(), 1u);
}

} // namespace
