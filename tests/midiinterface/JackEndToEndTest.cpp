// The receiver and transmitter over a real JACK server, against an instrument client.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/Attempts.h"
#include "support/JackInstrument.h"
#include "support/Messages.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// One JACK period of the test server (1024 frames at 48 kHz): the granularity of arrival times.
constexpr auto kPeriod = std::chrono::microseconds(1024 * 1'000'000 / 48'000);

class OverJack : public ::testing::Test {
protected:
    void SetUp() override {
        m_service = JackMidiService::open("BankShuttle").valueOr(nullptr);
        m_instrument = JackInstrument::open("synth" + std::to_string(getpid()));
        if (!m_service || !m_instrument) {
            // Under CTest the fixture has started a server: its absence is a failure.
            if (std::getenv("JACK_DEFAULT_SERVER") != nullptr) {
                FAIL() << "the JACK test server is not running";
            }
            GTEST_SKIP() << "no JACK server";
        }
        ASSERT_EQ(m_service->clientCreate("BankShuttle", nullptr, nullptr, &m_client),
                  MidiStatus::ok);
        // PipeWire's JACK shows a new client's ports a moment later.
        for (int i = 0; i < 100 && (m_source == 0 || m_destination == 0); ++i) {
            std::this_thread::sleep_for(i == 0 ? 0ms : 20ms);
            m_source =
                TQMidiInterfaceReceiver::SourceNamed(*m_service, m_instrument->name() + ": out");
            m_destination = TQMidiInterfaceTransmitter::DestinationNamed(
                *m_service, m_instrument->name() + ": in");
        }
        ASSERT_NE(m_source, 0u);
        ASSERT_NE(m_destination, 0u);
    }

    void waitUntilDone(TQMidiInterfaceTransmitter& t, std::chrono::seconds limit = 60s) {
        const auto deadline = Clock::now() + limit;
        while (t.isStillTransmitting() && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(t.isStillTransmitting());
    }

    // Waits for the recording to end: exact, or a stated failure for our own missed cycles.
    static Attempt receivedExactly(TQMidiInterfaceReceiver& receiver, const Dump& recorded,
                                   const std::vector<Bytes>& dump, uint16_t seconds = 5) {
        const bool began = receiver.waitForRecordOffWithTimeout(seconds);
        if (receiver.outcome().failure == RecordingFailure::cyclesMissed) {
            return Attempt::ownCyclesMissed;
        }
        EXPECT_TRUE(began);
        EXPECT_TRUE(receiver.outcome().complete()) << receiver.outcome().reason;
        EXPECT_EQ(recorded.size(), dump.size());
        for (std::size_t i = 0; i < std::min(dump.size(), recorded.size()); ++i) {
            EXPECT_EQ(Bytes(recorded[i].begin(), recorded[i].end()), dump[i]) << "message " << i;
        }
        return Attempt::exact;
    }

    // A retried attempt needs our client's count of missed cycles to have moved, and starts
    // once the instrument has gone quiet.
    AttemptRules rules() {
        return {[this] { return m_service->missedCycles(); },
                [this] { m_instrument->waitUntilQuiet(); }};
    }

    std::unique_ptr<JackMidiService> m_service;
    std::unique_ptr<JackInstrument> m_instrument;
    MIDIClientRef m_client = 0;
    MIDIEndpointRef m_source = 0, m_destination = 0;
};

TEST_F(OverJack, RecordsADumpOfAThousandMessagesExactly) {
    std::mt19937 random(3);
    std::vector<Bytes> dump;
    for (int i = 0; i < 1000; ++i) {
        dump.push_back(randomSysex(5 + random() % 7996, random));
    }
    requireExactInOneOfThree(rules(), [&] {
        TQMidiInterfaceReceiver receiver(*m_service, m_client, m_source);
        Dump recorded;
        receiver.recordOn(recorded);
        // Noise around the dump is dropped.
        m_instrument->play({{0x90, 0x40, 0x7F}, {0xF8}});
        m_instrument->play(dump);
        return receivedExactly(receiver, recorded, dump);
    });
    EXPECT_EQ(m_service->inputOverruns(), 0u);
}

TEST_F(OverJack, TransmitsADumpExactlyAfterAllNotesOffWithItsPauses) {
    std::mt19937 random(5);
    Dump dump;
    const double offsets[] = {0.0, 0.1, 0.0, 0.05};
    for (int i = 0; i < 40; ++i) {
        const Bytes b = randomSysex(5 + random() % 600, random);
        dump.push_back(midi::event(buffer(b.begin(), b.end()), offsets[i % 4]));
    }
    std::vector<JackInstrument::Event> got;
    requireExactInOneOfThree(rules(), [&] {
        const std::size_t before = m_instrument->received().size();
        auto transmitter =
            std::make_shared<TQMidiInterfaceTransmitter>(*m_service, m_client, m_destination);
        transmitter->transmitDump(dump);
        waitUntilDone(*transmitter);
        EXPECT_EQ(transmitter->refusedCount(), 0u);
        got = m_instrument->waitForReceived(before + 17 + dump.size());
        got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(before));
        return transmitter->mayNotHaveArrivedCount() != 0 ? Attempt::ownCyclesMissed
                                                          : Attempt::exact;
    });
    const double rate = m_instrument->sampleRate();
    double longest = 0.0;
    ASSERT_EQ(got.size(), 17 + dump.size());
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(got[i].bytes, (Bytes{uint8_t(0xB0 | (i % 16)), 0x7B, 0x00})) << i;
    }
    for (std::size_t i = 0; i < dump.size(); ++i) {
        const auto& message = got[17 + i];
        ASSERT_EQ(message.bytes, Bytes(dump[i].begin(), dump[i].end())) << "message " << i;
        if (i > 0) {
            // The previous message's cable time, then this message's offset: to the frame.
            const double due = (320e-6 * dump[i - 1].size() + dump[i].m_offset) * rate;
            const auto gap = static_cast<double>(message.frame - got[17 + i - 1].frame);
            EXPECT_GE(gap + 1e-6, due) << i;
            longest = std::max(longest, (gap - due) / rate);
        }
    }
    std::printf("BENCH pause deviation: at most %.0f us longer than asked\n", longest * 1e6);
}

TEST_F(OverJack, AMessageTooLargeForJackIsRefusedAndCounted) {
    std::mt19937 random(7);
    const Bytes small = randomSysex(100, random);
    const Bytes huge = randomSysex(40000, random);
    const Dump dump{midi::event(buffer(small.begin(), small.end())),
                    midi::event(buffer(huge.begin(), huge.end())),
                    midi::event(buffer(small.begin(), small.end()))};
    TQMidiInterfaceTransmitter transmitter(*m_service, m_client, m_destination);
    const std::size_t largest = m_service->largestSysex();
    EXPECT_GT(largest, 30000u);
    char limit[48];
    std::snprintf(limit, sizeof limit, "%zu,%03zu", largest / 1000, largest % 1000);
    EXPECT_EQ(m_service->refusal(dump, midi::kFullSpeed).error(),
              "Message 2 is 40,000 bytes; JACK carries at most " + std::string(limit) +
                  " bytes in one event. Send this dump over ALSA.");
    // Sent all the same, the transmitter refuses it and counts it.
    transmitter.transmitDump(dump);
    waitUntilDone(transmitter);
    EXPECT_EQ(transmitter.refusedCount(), 1u);
    const auto got = m_instrument->waitForReceived(17 + 2);
    ASSERT_EQ(got.size(), 17u + 2);
    EXPECT_EQ(got[17].bytes, small);
    EXPECT_EQ(got[18].bytes, small);
}

TEST_F(OverJack, MissedCyclesFailAReceiveOnlyWhenTheyCanHaveCostAByte) {
    std::mt19937 random(9);
    std::vector<Bytes> dump;
    for (int i = 0; i < 40; ++i) {
        dump.push_back(randomSysex(500, random));
    }
    // The stall before the dump makes our client miss cycles on purpose: only misses outside
    // it count as evidence for another attempt.
    std::atomic<uint64_t> stallMisses{0};
    const AttemptRules outsideTheStall{[&] { return m_service->missedCycles() - stallMisses; },
                                       [&] { m_instrument->waitUntilQuiet(); }};
    for (bool insideTheDump : {false, true}) {
        requireExactInOneOfThree(outsideTheStall, [&] {
            TQMidiInterfaceReceiver receiver(*m_service, m_client, m_source);
            Dump recorded;
            receiver.recordOn(recorded);
            // A client that takes three periods per cycle stalls the whole graph.
            std::thread player([&] {
                if (!insideTheDump) {
                    const uint64_t before = m_service->missedCycles();
                    m_instrument->stall(
                        5, 3 * std::chrono::duration_cast<std::chrono::milliseconds>(kPeriod));
                    std::this_thread::sleep_for(2s); // the stall, then quiet
                    stallMisses += m_service->missedCycles() - before;
                }
                for (std::size_t i = 0; i < dump.size(); ++i) {
                    m_instrument->play({dump[i]});
                    std::this_thread::sleep_for(10ms);
                    if (insideTheDump && i == dump.size() / 2) {
                        m_instrument->stall(
                            5, 3 * std::chrono::duration_cast<std::chrono::milliseconds>(kPeriod));
                    }
                }
            });
            if (insideTheDump) {
                EXPECT_TRUE(receiver.waitForRecordOffWithTimeout(10));
                player.join();
                EXPECT_EQ(receiver.outcome().reason,
                          "Bytes may have been lost: JACK missed processing cycles during the "
                          "recording. Run JACK with realtime scheduling or a larger period, and "
                          "receive again.");
                return Attempt::exact; // the failure it must be
            }
            const Attempt result = receivedExactly(receiver, recorded, dump, 10);
            player.join();
            return result;
        });
    }
}

// A client that nothing of ours is connected to stalls inside the dump: JACK tells every
// client of its lateness, but our input loses nothing, and the receive is kept.
TEST_F(OverJack, AnotherClientStallingCostsTheReceiveNothing) {
    auto bystander = JackInstrument::open("bystander" + std::to_string(getpid()));
    ASSERT_TRUE(bystander);
    std::mt19937 random(10);
    std::vector<Bytes> dump;
    for (int i = 0; i < 40; ++i) {
        dump.push_back(randomSysex(500, random));
    }
    const uint64_t xrunsBefore = m_service->graphXruns();
    requireExactInOneOfThree(rules(), [&] {
        TQMidiInterfaceReceiver receiver(*m_service, m_client, m_source);
        Dump recorded;
        receiver.recordOn(recorded);
        std::thread player([&] {
            for (std::size_t i = 0; i < dump.size(); ++i) {
                m_instrument->play({dump[i]});
                std::this_thread::sleep_for(10ms);
                if (i == dump.size() / 2) {
                    bystander->stall(
                        2, 3 * std::chrono::duration_cast<std::chrono::milliseconds>(kPeriod));
                }
            }
        });
        const Attempt result = receivedExactly(receiver, recorded, dump, 10);
        player.join();
        return result;
    });
    EXPECT_GT(m_service->graphXruns(), xrunsBefore); // JACK did call it an xrun
}

// With a core kept busy, as on a desktop, clients miss cycles at a small period: a receive is
// exact or fails saying so, and a transmission that lost a message in a cycle our client
// missed never says all were sent. (What the instrument loses in cycles it missed itself,
// only it can know.)
TEST_F(OverJack, UnderLoadNoShortDumpIsStoredOrReportedSent) {
    std::atomic<bool> done{false};
    std::thread busy([&] {
        while (!done) {
        }
    });
    struct Join {
        std::atomic<bool>& done;
        std::thread& thread;
        ~Join() {
            done = true;
            thread.join();
        }
    } joinBusy{done, busy};
    std::mt19937 random(11);
    std::vector<Bytes> dump;
    Dump sending;
    for (int i = 0; i < 12; ++i) {
        dump.push_back(randomSysex(100 + random() % 200, random));
        sending.push_back(midi::event(buffer(dump.back().begin(), dump.back().end())));
    }
    int exact = 0, failed = 0, sentWhole = 0, saidIncomplete = 0;
    for (int round = 0; round < 5; ++round) {
        TQMidiInterfaceReceiver receiver(*m_service, m_client, m_source);
        Dump recorded;
        receiver.recordOn(recorded);
        m_instrument->play(dump);
        // Nothing at all may arrive (the instrument's own client missed the cycle): said too.
        const bool began = receiver.waitForRecordOffWithTimeout(5);
        if (began && receiver.outcome().complete()) {
            ASSERT_EQ(recorded.size(), dump.size());
            for (std::size_t i = 0; i < dump.size(); ++i) {
                ASSERT_EQ(Bytes(recorded[i].begin(), recorded[i].end()), dump[i]) << i;
            }
            ++exact;
        } else {
            EXPECT_TRUE(!began || receiver.outcome().failure == RecordingFailure::cyclesMissed ||
                        receiver.outcome().failure == RecordingFailure::bytesLost)
                << receiver.outcome().reason;
            EXPECT_TRUE(!began || !receiver.outcome().complete());
            ++failed;
        }

        const std::size_t before = m_instrument->received().size();
        const int instrumentMissed = m_instrument->missedCycles();
        TQMidiInterfaceTransmitter transmitter(*m_service, m_client, m_destination);
        transmitter.transmitDump(sending);
        waitUntilDone(transmitter);
        // Some may never arrive here (the instrument's own missed cycles): wait for quiet.
        m_instrument->waitUntilQuiet();
        const auto all = m_instrument->received();
        std::vector<Bytes> heard;
        for (std::size_t i = before; i < all.size(); ++i) {
            if (all[i].bytes.front() == 0xF0) {
                heard.push_back(all[i].bytes);
            }
        }
        if (transmitter.mayNotHaveArrivedCount() == 0 && transmitter.refusedCount() == 0) {
            ++sentWhole;
            EXPECT_TRUE(heard == dump || m_instrument->missedCycles() != instrumentMissed)
                << "said sent whole, but " << heard.size() << " of " << dump.size()
                << " arrived; round " << round;
        } else {
            ++saidIncomplete;
        }
    }
    std::printf("BENCH under load: receives %d exact, %d failed; sends %d whole, %d said "
                "incomplete\n",
                exact, failed, sentWhole, saidIncomplete);
}

// The largest message JACK is said to carry arrives whole (a message of exactly the size that
// PipeWire's JACK reports crashes it).
TEST_F(OverJack, AMessageOfTheLargestSizeArrivesWhole) {
    std::mt19937 random(13);
    const Bytes largest = randomSysex(m_service->largestSysex(), random);
    TQMidiInterfaceTransmitter transmitter(*m_service, m_client, m_destination);
    const Dump dump{midi::event(buffer(largest.begin(), largest.end()))};
    EXPECT_TRUE(m_service->refusal(dump, midi::kFullSpeed).ok());
    transmitter.transmitDump(dump);
    waitUntilDone(transmitter);
    const auto got = m_instrument->waitForReceived(17 + 1);
    ASSERT_EQ(got.size(), 17u + 1);
    EXPECT_EQ(got.back().bytes, largest);
}

TEST_F(OverJack, ATransmissionToAnInstrumentThatGoesAwayStillEnds) {
    std::mt19937 random(9);
    Dump dump;
    for (int i = 0; i < 100; ++i) {
        const Bytes b = randomSysex(1000, random); // 0.32 s each on a cable
        dump.push_back(midi::event(buffer(b.begin(), b.end())));
    }
    auto transmitter =
        std::make_shared<TQMidiInterfaceTransmitter>(*m_service, m_client, m_destination);
    std::thread sender([&] { transmitter->transmitDump(dump); });
    m_instrument->waitForReceived(17 + 2); // well inside the dump
    m_instrument->close();
    waitUntilDone(*transmitter, 10s); // a third of the 30 s that the rest would take
    sender.join();
    EXPECT_GT(transmitter->refusedCount(), 80u);
}

TEST_F(OverJack, RealTimeBytesInsideAMessageKeepItAndACutOffLastMessageFails) {
    TQMidiInterfaceReceiver receiver(*m_service, m_client, m_source);
    Dump recorded;
    requireExactInOneOfThree(rules(), [&] {
        receiver.recordOn(recorded);
        m_instrument->play(
            {{0xF0, 0x31, 0xFE, 0x01, 0xF8, 0x02, 0xF7}, {0xFE}, {0xF0, 0x03, 0xF7}});
        return receivedExactly(receiver, recorded,
                               {{0xF0, 0x31, 0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}});
    });
    requireExactInOneOfThree(rules(), [&] {
        receiver.recordOn(recorded);
        m_instrument->play({{0xF0, 0x01, 0xF7}, {0xF0, 0x02, 0x03}});
        EXPECT_TRUE(receiver.waitForRecordOffWithTimeout(5));
        if (receiver.outcome().failure == RecordingFailure::cyclesMissed) {
            return Attempt::ownCyclesMissed;
        }
        EXPECT_EQ(receiver.outcome().reason, "The last message was cut off.");
        return Attempt::exact;
    });
}

TEST_F(OverJack, AnInstrumentThatQuitsMidDumpFailsTheReceive) {
    std::mt19937 random(11);
    TQMidiInterfaceReceiver receiver(*m_service, m_client, m_source);
    Dump recorded;
    receiver.recordOn(recorded);
    for (int i = 0; i < 5; ++i) {
        m_instrument->play({randomSysex(100, random)});
        std::this_thread::sleep_for(100ms); // keeps the recording going
    }
    m_instrument->close();
    receiver.waitForRecordOffWithTimeout(5);
    EXPECT_EQ(receiver.outcome().reason, "The MIDI input went away during the recording.");
}

} // namespace
