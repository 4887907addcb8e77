// Sending slower than the cable, against a real kernel: what arrives on the instrument's raw
// MIDI device (snd-virmidi's), and when. SpeedBench measures every speed the window offers;
// the regular run leaves it out.
#include "RawReader.h"
#include "dumptypes/DumpRules.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/alsa/AlsaMidiService.h"
#include "support/Messages.h"
#include "transfer/TransmitSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <random>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = RawReader::Clock;

class Speed : public ::testing::Test {
protected:
    struct Sent {
        Clock::duration took; // from transmitDump to the transmitter's end
        Bytes bytes;
        std::vector<RawReader::Arrival> arrivals; // the dump's, All Notes Off left out
    };

    void SetUp() override {
        auto opened = AlsaMidiService::open("BankShuttle");
        ASSERT_TRUE(opened) << opened.error();
        m_midi = std::move(opened.value());
        ASSERT_EQ(m_midi->clientCreate("BankShuttle", nullptr, nullptr, &m_client), MidiStatus::ok);
    }

    Sent send(const Bytes& message, uint32_t bytesPerSecond) {
        RawReader instrument("/dev/snd/midiC0D1");
        EXPECT_TRUE(instrument.ok());
        const Dump dump{midi::event(buffer(message.begin(), message.end()))};
        TQMidiInterfaceTransmitter transmitter(*m_midi, m_client,
                                               TQMidiInterfaceTransmitter::DestinationNamed(
                                                   *m_midi, "Virtual Raw MIDI 0-1: VirMIDI 0-1"),
                                               bytesPerSecond);
        const auto start = Clock::now();
        transmitter.transmitDump(dump);
        while (transmitter.isStillTransmitting()) {
            std::this_thread::sleep_for(5ms);
        }
        Sent sent{Clock::now() - start, instrument.waitFor(51 + message.size(), 5s), {}};
        // The burst is 300 ms before the dump: no read holds both.
        std::size_t seen = 0;
        for (const RawReader::Arrival& arrival : instrument.arrivals()) {
            if ((seen += arrival.bytes) > 51) {
                sent.arrivals.push_back(arrival);
            }
        }
        return sent;
    }

    std::unique_ptr<AlsaMidiService> m_midi;
    MIDIClientRef m_client = 0;
};

TEST_F(Speed, AMessageAt500BytesPerSecondArrivesWholeAndNeverFaster) {
    std::mt19937 random(11);
    const Bytes message = randomSysex(4000, random);
    const Sent sent = send(message, 500);
    Bytes expected = allNotesOff();
    expected.insert(expected.end(), message.begin(), message.end());
    EXPECT_EQ(sent.bytes, expected);
    // 8 s, as the window's bar and the command line's "about 8 s" say.
    const double estimate = dumprules::transmitEstimateMicroseconds(
        Dump{midi::event(buffer(message.begin(), message.end()))}, 500);
    EXPECT_DOUBLE_EQ(estimate, 8e6);
    EXPECT_GE(sent.took, std::chrono::microseconds(static_cast<int64_t>(estimate)));
    ASSERT_FALSE(sent.arrivals.empty());
    // The first 5-byte part goes at once, the last 3,995 bytes' share later.
    EXPECT_GE(sent.arrivals.back().at - sent.arrivals.front().at, 7990ms);
    EXPECT_LE(mostBytesWithin(sent.arrivals, 1s), 550u);
}

// Stop inside a long message, slow and at full speed: what the instrument has ends with 0xF7,
// the message cut short, never left open. How soon is printed for bench/speeds-in-qemu.sh.
TEST_F(Speed, StopClosesTheMessageUnderWayAtOnce) {
    std::mt19937 random(13);
    for (const auto& [speed, size] : {std::pair{50u, 4000u}, std::pair{midi::kFullSpeed, 20000u}}) {
        const Bytes message = randomSysex(size, random);
        RawReader instrument("/dev/snd/midiC0D1");
        ASSERT_TRUE(instrument.ok());
        TQMidiInterfaceTransmitter transmitter(*m_midi, m_client,
                                               TQMidiInterfaceTransmitter::DestinationNamed(
                                                   *m_midi, "Virtual Raw MIDI 0-1: VirMIDI 0-1"),
                                               speed);
        const Dump dump{midi::event(buffer(message.begin(), message.end()))};
        transmitter.transmitDump(dump);
        ASSERT_GE(instrument.waitFor(51 + 20, 10s).size(), 51u + 20) << speed;
        const auto stopped = Clock::now();
        transmitter.stop();
        while (transmitter.isStillTransmitting()) {
            std::this_thread::sleep_for(1ms);
        }
        const Bytes got = instrument.waitFor(51 + message.size(), 1s);
        ASSERT_GT(got.size(), 51u + 20) << speed;
        ASSERT_LT(got.size(), 51u + message.size()) << speed;
        EXPECT_EQ(Bytes(got.begin() + 51, got.end() - 1),
                  Bytes(message.begin(), message.begin() + static_cast<long>(got.size() - 52)));
        EXPECT_EQ(got.back(), 0xF7) << speed;
        EXPECT_EQ(transmitter.cutShortMessage(), 1u);
        const auto closed = instrument.arrivals().back().at - stopped;
        std::printf("BENCH stop at %s bytes/s: 0xF7 arrived %.1f ms after Stop\n",
                    speed == midi::kFullSpeed ? "full" : std::to_string(speed).c_str(),
                    std::chrono::duration<double, std::milli>(closed).count());
    }
}

// A series of files over a real kernel: All Notes Off once, then each dump in turn, a pause
// between them.
TEST_F(Speed, ASeriesGoesInOrderAfterOneAllNotesOff) {
    std::mt19937 random(14);
    std::vector<Bytes> messages;
    std::vector<SendPlan> plans;
    for (int i = 0; i < 3; ++i) {
        messages.push_back(randomSysex(300, random));
        plans.push_back(
            SendPlan{Dump{midi::event(buffer(messages.back().begin(), messages.back().end()))},
                     midi::kFullSpeed, 0.1});
    }
    RawReader instrument("/dev/snd/midiC0D1");
    ASSERT_TRUE(instrument.ok());
    TransmitSession session(*m_midi, "Virtual Raw MIDI 0-1: VirMIDI 0-1", std::move(plans));
    std::promise<void> opened;
    session.open([&] { opened.set_value(); });
    opened.get_future().get();
    for (int i = 0; i < 3; ++i) {
        std::promise<TransmitSession::Result> finished;
        session.send([&](TransmitSession::Result r) { finished.set_value(r); },
                     i == 0 ? 0ms : 1000ms);
        const TransmitSession::Result result = finished.get_future().get();
        EXPECT_EQ(result.sent, 1u);
    }
    Bytes expected = allNotesOff();
    for (const Bytes& m : messages) {
        expected.insert(expected.end(), m.begin(), m.end());
    }
    EXPECT_EQ(instrument.waitFor(expected.size(), 5s), expected);
    // The last file came at least the two pauses after the first.
    const auto arrivals = instrument.arrivals();
    ASSERT_FALSE(arrivals.empty());
    EXPECT_GE(arrivals.back().at - arrivals.front().at, 2s);
}

// The figures of bench/speeds-in-qemu.sh: for each speed, the most bytes of a 2,000-byte
// message that arrived within any 100 ms, and how long it took.
TEST_F(Speed, BenchEverySpeedOfTheWindow) {
    std::mt19937 random(12);
    const Bytes message = randomSysex(2000, random);
    for (const uint32_t speed : {0u, 1000u, 500u, 250u, 100u, 50u}) {
        const Sent sent = send(message, speed);
        ASSERT_EQ(sent.bytes.size(), 51 + message.size()) << speed;
        const double share = (speed == 0 ? midi::kCableSpeed : speed) / 10.0;
        std::printf("BENCH %-5s bytes/s: most in any 100 ms %4zu bytes (share %5.1f), "
                    "2,000 bytes in %6.2f s (at the speed %6.2f s)\n",
                    speed == 0 ? "full" : std::to_string(speed).c_str(),
                    mostBytesWithin(sent.arrivals, 100ms), share,
                    std::chrono::duration<double>(sent.took).count(), 200.0 / share);
    }
}

} // namespace
