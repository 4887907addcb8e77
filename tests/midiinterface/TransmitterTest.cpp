// Sending dumps to a destination of the virtual MIDI service: the All Notes Off burst, order,
// pacing, completion timing and refused messages.
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/virtual/VirtualMidiService.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

const MidiServiceBase::EndpointId kSynth{"KoRvO", "Synth in"};

midi::event sysex(std::size_t size, uint8_t fill, double offset) {
    midi::event e(buffer(size, fill), offset);
    e.front() = 0xF0;
    e.back() = 0xF7;
    return e;
}

class Transmitting : public ::testing::Test {
protected:
    void SetUp() override {
        m_service.addDestination(kSynth);
        ASSERT_EQ(m_service.clientCreate("test", nullptr, nullptr, &m_client), MidiStatus::ok);
    }

    std::shared_ptr<TQMidiInterfaceTransmitter> open() {
        return TQMidiInterfaceTransmitter::TQMidiInterfaceTransmitterWithClient(m_service, m_client,
                                                                                0);
    }

    static void waitUntilDone(TQMidiInterfaceTransmitter& t) {
        const auto deadline = Clock::now() + 30s;
        while (t.isStillTransmitting() && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(t.isStillTransmitting());
    }

    // What reached the synth, All Notes Off burst first.
    std::vector<VirtualMidiService::Received> received() { return m_service.received(kSynth); }

    VirtualMidiService m_service;
    MIDIClientRef m_client = 0;
};

TEST_F(Transmitting, AllNotesOffBurstComesFirst) {
    const auto start = Clock::now();
    auto transmitter = open();
    EXPECT_GE(Clock::now() - start, 900ms); // 600 ms before, 300 ms after
    const auto got = received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].sysex);
    EXPECT_EQ(got[0].packets, 17u);
    Bytes expected;
    for (int channel = 0; channel < 16; ++channel) {
        expected.insert(expected.end(), {uint8_t(0xB0 | channel), 0x7B, 0x00});
    }
    expected.insert(expected.end(), {0xB0, 0x7B, 0x00});
    EXPECT_EQ(got[0].bytes, expected);
    EXPECT_EQ(got[0].bytes.size(), 51u);
    EXPECT_FALSE(transmitter->isStillTransmitting());
}

TEST_F(Transmitting, EveryMessageOnceInOrderAfterItsPause) {
    auto transmitter = open();
    const Dump dump{sysex(100, 1, 0.0), sysex(200, 2, 0.5), sysex(50, 3, 0.0)};
    const auto start = Clock::now();
    transmitter->transmitDump(dump);
    waitUntilDone(*transmitter);
    const auto got = received();
    ASSERT_EQ(got.size(), 4u);
    for (std::size_t i = 0; i < dump.size(); ++i) {
        EXPECT_TRUE(got[i + 1].sysex);
        EXPECT_EQ(got[i + 1].bytes, Bytes(dump[i].begin(), dump[i].end()));
    }
    // Each message waits for the previous one's cable time (320 µs a byte) and its own
    // offset, which a pause taken one message early or late would break. How much longer
    // than that a busy machine makes it is bench_jack's measure (1.002 × the estimate).
    EXPECT_GE(got[1].at, start);
    EXPECT_GE(got[2].at - got[1].at, 500ms + 32ms);
    EXPECT_GE(got[3].at - got[2].at, 64ms);
    EXPECT_EQ(transmitter->refusedCount(), 0u);
    EXPECT_EQ(transmitter->m_dump, nullptr);
    EXPECT_EQ(transmitter->m_messageToSend, 0u);
}

TEST_F(Transmitting, PacedDumpPausesBeforeEveryMessage) {
    auto transmitter = open();
    const Dump dump{sysex(10, 1, 0.3), sysex(10, 2, 0.3)};
    const auto start = Clock::now();
    transmitter->transmitDump(dump);
    EXPECT_GE(Clock::now() - start, 300ms); // the first pause is the caller's
    waitUntilDone(*transmitter);
    const auto got = received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_GE(got[2].at - got[1].at, 300ms + 3200us);
}

TEST_F(Transmitting, SingleMessageWithoutPause) {
    auto transmitter = open();
    // The transmitter sends from the caller's message: it must outlive the transmission.
    // The offset plays no part here: an hour of it would outlast the 30 s give-up.
    const midi::event message = sysex(20, 5, 3600.0);
    transmitter->transmitMessage(message);
    waitUntilDone(*transmitter);
    EXPECT_EQ(received().size(), 2u);
    EXPECT_EQ(transmitter->m_dump, nullptr);
}

TEST_F(Transmitting, RefusedMessagesStillEndTheTransmissionAndAreCounted) {
    auto transmitter = open();
    m_service.refuseSysex(true);
    Dump dump;
    for (int i = 0; i < 2000; ++i) { // many, to show that refusals do not pile up on a stack
        dump.push_back(sysex(10, 1, 0.0));
    }
    transmitter->transmitDump(dump);
    waitUntilDone(*transmitter);
    EXPECT_EQ(transmitter->refusedCount(), 2000u);
    EXPECT_EQ(received().size(), 1u); // only the burst

    m_service.refuseSysex(false);
    m_service.removeDestination(kSynth); // the instrument is gone
    transmitter->transmitDump(Dump{sysex(10, 1, 0.0), sysex(10, 2, 0.0)});
    waitUntilDone(*transmitter);
    EXPECT_EQ(transmitter->refusedCount(), 2002u);
}

TEST_F(Transmitting, StopClosesAMessageGoingOutInPartsAndSendsNothingMore) {
    // 100 bytes/s: a byte every 10 ms, so the 400-byte message would take 4 s.
    auto transmitter = std::make_shared<TQMidiInterfaceTransmitter>(m_service, m_client,
                                                                    m_service.destination(0), 100);
    const Dump dump{sysex(5, 1, 0.0), sysex(400, 2, 0.0), sysex(5, 3, 0.0)};
    // Every SysEx byte the synth had, in order (a part a byte at this speed).
    const auto sysexBytes = [this] {
        Bytes all;
        for (const auto& r : received()) {
            if (r.sysex) {
                all.insert(all.end(), r.bytes.begin(), r.bytes.end());
            }
        }
        return all;
    };
    transmitter->transmitDump(dump);
    const auto deadline = Clock::now() + 10s;
    while (sysexBytes().size() < 5 + 10 && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    transmitter->stop();
    waitUntilDone(*transmitter);
    EXPECT_TRUE(transmitter->wasStopped());
    EXPECT_EQ(transmitter->sentCount(), 1u);
    EXPECT_EQ(transmitter->cutShortMessage(), 2u);
    EXPECT_EQ(transmitter->refusedCount(), 0u);
    // The first message and part of the second, closed; nothing of the third.
    const Bytes after = sysexBytes();
    ASSERT_GT(after.size(), 5u + 10);
    ASSERT_LT(after.size(), 5u + 400);
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 5), Bytes(dump[0].begin(), dump[0].end()));
    EXPECT_EQ(Bytes(after.begin() + 5, after.end() - 1),
              Bytes(dump[1].begin(), dump[1].begin() + static_cast<long>(after.size() - 6)));
    EXPECT_EQ(after.back(), 0xF7);

    // At full speed the virtual service takes a message whole: a Stop during its cable time
    // cuts nothing, and the rest is not sent.
    auto whole = open();
    const Dump two{sysex(3000, 4, 0.0), sysex(5, 5, 0.0)}; // about 1 s of cable
    whole->transmitDump(two);
    std::this_thread::sleep_for(100ms);
    const std::size_t before = received().size();
    whole->stop();
    waitUntilDone(*whole);
    EXPECT_EQ(whole->sentCount(), 1u);
    EXPECT_EQ(whole->cutShortMessage(), 0u);
    EXPECT_TRUE(whole->wasStopped());
    EXPECT_EQ(received().size(), before);
}

} // namespace
