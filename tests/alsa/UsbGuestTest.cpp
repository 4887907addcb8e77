// A USB MIDI instrument inside the emulated machine: dummy_hcd joins a USB gadget with a MIDI
// function (the instrument's side, a raw MIDI card "fmidi" that the test plays) to
// snd-usb-audio (the computer's side, card "Synth", port "Test Synth: Test Synth MIDI 1").
// Writing the gadget's UDC file plugs the cable, emptying it pulls it. init.sh builds it.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/alsa/AlsaMidiService.h"
#include "support/Messages.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const std::string kUsbPort = "Test Synth: Test Synth MIDI 1";
const char* const kUdcFile = "/sys/kernel/config/usb_gadget/synth/UDC";

void cable(bool plugged) {
    std::ofstream(kUdcFile) << (plugged ? "dummy_udc.0" : "") << "\n";
}

// The instrument's raw MIDI device: the gadget's card.
std::string instrumentDevice() {
    const int card = snd_card_get_index("fmidi");
    return card < 0 ? "" : "/dev/snd/midiC" + std::to_string(card) + "D0";
}

class Usb : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        m_midi = AlsaMidiService::open("BankShuttle", &why);
        ASSERT_NE(m_midi, nullptr) << why;
        ASSERT_EQ(m_midi->clientCreate("BankShuttle", nullptr, nullptr, &m_client), MidiStatus::ok);
        plug(); // enumeration takes a moment after the cable is plugged
        ASSERT_NE(source(), 0u) << "the USB instrument did not appear";
    }
    MIDIEndpointRef source() { return TQMidiInterfaceReceiver::SourceNamed(*m_midi, kUsbPort); }
    // Plugs the cable and waits until the instrument is there.
    void plug() {
        cable(true);
        for (int i = 0; i < 200 && source() == 0; ++i) {
            std::this_thread::sleep_for(50ms);
        }
    }
    // Ends an instrument that nobody reads any more (its writes would block): pulls the
    // cable and plugs it in again.
    void stopPlaying(std::thread& instrument) {
        cable(false);
        instrument.join();
        plug();
    }

    // Plays `bytes` from the instrument as fast as USB takes them; `played` turns true once
    // the last byte has left the instrument's buffer.
    static std::thread play(const Bytes& bytes, std::atomic<bool>* played = nullptr) {
        return std::thread([bytes, played] {
            snd_rawmidi_t* out = nullptr;
            const std::string device = "hw:" + std::to_string(snd_card_get_index("fmidi"));
            if (snd_rawmidi_open(nullptr, &out, device.c_str(), 0) < 0) {
                return;
            }
            for (std::size_t at = 0; at < bytes.size();) {
                const ssize_t n = snd_rawmidi_write(out, bytes.data() + at, bytes.size() - at);
                if (n <= 0) {
                    break; // the cable was pulled
                }
                at += static_cast<std::size_t>(n);
            }
            snd_rawmidi_drain(out);
            if (played != nullptr) {
                *played = true;
            }
            snd_rawmidi_close(out);
        });
    }

    static Bytes dumpOf(int messages, std::size_t size, std::vector<Bytes>* each) {
        std::mt19937 random(static_cast<unsigned>(messages * size));
        Bytes stream;
        for (int i = 0; i < messages; ++i) {
            each->push_back(randomSysex(size, random));
            stream.insert(stream.end(), each->back().begin(), each->back().end());
        }
        return stream;
    }

    std::unique_ptr<AlsaMidiService> m_midi;
    MIDIClientRef m_client = 0;
};

TEST_F(Usb, AFullSpeedDumpIsReceivedExactlyEveryTime) {
    std::vector<Bytes> dump;
    const Bytes stream = dumpOf(50, 2000, &dump); // 100,000 bytes
    // The emulated bus now and then stalls for longer than the 300 ms of silence that end a
    // recording, which a real instrument sending a dump never does: a recording that ended
    // while the instrument was still sending is tried again.
    int exact = 0;
    for (int attempt = 0; attempt < 10 && exact < 3; ++attempt) {
        TQMidiInterfaceReceiver receiver(*m_midi, m_client, source());
        Dump recorded;
        receiver.recordOn(recorded);
        std::atomic<bool> played{false};
        const auto start = Clock::now();
        std::thread instrument = play(stream, &played);
        ASSERT_TRUE(receiver.waitForRecordOffWithTimeout(10));
        const bool stalled = !played;
        // The last 300 to 600 ms were the silence that ends a recording.
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count() - 0.6;
        if (stalled) {
            stopPlaying(instrument);
        } else {
            instrument.join();
        }
        ASSERT_TRUE(receiver.outcome().complete()) << receiver.outcome().reason;
        ASSERT_LE(recorded.size(), dump.size());
        for (std::size_t i = 0; i < recorded.size(); ++i) {
            ASSERT_EQ(Bytes(recorded[i].begin(), recorded[i].end()), dump[i]) << i;
        }
        if (stalled) {
            std::printf("the emulated bus stalled after %zu messages; once more\n",
                        recorded.size());
            continue;
        }
        ASSERT_EQ(recorded.size(), dump.size());
        ++exact;
        std::printf("BENCH usb receive: %zu bytes exact, at least %.0f bytes/s\n", stream.size(),
                    static_cast<double>(stream.size()) / std::max(seconds, 0.001));
    }
    EXPECT_EQ(exact, 3);
}

TEST_F(Usb, LostBytesFailTheReceive) {
    m_midi->setRawInputBufferBytes(32); // the kernel's smallest: a USB burst overflows it
    std::vector<Bytes> dump;
    const Bytes stream = dumpOf(50, 2000, &dump);
    TQMidiInterfaceReceiver receiver(*m_midi, m_client, source());
    Dump recorded;
    receiver.recordOn(recorded);
    std::thread instrument = play(stream);
    receiver.waitForRecordOffWithTimeout(10);
    stopPlaying(instrument);
    EXPECT_EQ(receiver.outcome().reason,
              "Bytes were lost: the MIDI input delivered them faster than they could be read.");
}

TEST_F(Usb, APulledCableFailsTheReceiveWithinASecond) {
    for (bool midDump : {true, false}) {
        plug();
        TQMidiInterfaceReceiver receiver(*m_midi, m_client, source());
        Dump recorded;
        receiver.recordOn(recorded);
        std::vector<Bytes> dump;
        std::thread instrument;
        if (midDump) {
            // Paced like a cable, so that the dump is still coming when the cable goes.
            instrument = std::thread([&] {
                const Bytes stream = dumpOf(40, 2000, &dump);
                const int fd = ::open(instrumentDevice().c_str(), O_WRONLY);
                for (std::size_t at = 0; fd >= 0 && at < stream.size(); at += 100) {
                    if (write(fd, stream.data() + at,
                              std::min<std::size_t>(100, stream.size() - at)) <= 0) {
                        break;
                    }
                    std::this_thread::sleep_for(32ms);
                }
                if (fd >= 0) {
                    close(fd);
                }
            });
            std::this_thread::sleep_for(1s);
        }
        cable(false);
        const auto pulled = Clock::now();
        receiver.waitForRecordOffWithTimeout(10);
        const auto took = Clock::now() - pulled;
        if (instrument.joinable()) {
            instrument.join();
        }
        EXPECT_LT(took, 1s) << (midDump ? "mid-dump" : "waiting");
        EXPECT_EQ(receiver.outcome().reason, "The MIDI input went away during the recording.");
        std::printf("BENCH pulled cable (%s): the receive ended after %lld ms\n",
                    midDump ? "mid-dump" : "while waiting",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    }
    plug();
}

TEST_F(Usb, AnInputHeldByAnotherProgramIsSaidAtOnce) {
    const int card = snd_card_get_index("Synth");
    ASSERT_GE(card, 0);
    snd_rawmidi_t* other = nullptr;
    ASSERT_EQ(snd_rawmidi_open(&other, nullptr, ("hw:" + std::to_string(card) + ",0,0").c_str(),
                               SND_RAWMIDI_NONBLOCK),
              0);
    TQMidiInterfaceReceiver receiver(*m_midi, m_client, source());
    Dump recorded;
    receiver.recordOn(recorded);
    const auto start = Clock::now();
    EXPECT_FALSE(receiver.waitForRecordOffWithTimeout(10));
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(receiver.outcome().reason,
              "The MIDI input cannot be opened: Device or resource busy.");
    snd_rawmidi_close(other);
}

TEST_F(Usb, TransmitOverUsbIsExact) {
    std::vector<Bytes> dump;
    const Bytes stream = dumpOf(4, 3000, &dump);
    const int fd = ::open(instrumentDevice().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    // The instrument listens from its first read on: bytes before it are dropped.
    uint8_t first[64];
    ASSERT_LT(read(fd, first, sizeof first), 0);
    Dump sending;
    for (const Bytes& m : dump) {
        sending.push_back(midi::event(buffer(m.begin(), m.end())));
    }
    TQMidiInterfaceTransmitter transmitter(
        *m_midi, m_client, TQMidiInterfaceTransmitter::DestinationNamed(*m_midi, kUsbPort));
    transmitter.transmitDump(sending);
    Bytes heard;
    const auto deadline = Clock::now() + 30s;
    while ((transmitter.isStillTransmitting() || heard.size() < 51 + stream.size()) &&
           Clock::now() < deadline) {
        uint8_t chunk[4096];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            heard.insert(heard.end(), chunk, chunk + n);
        } else {
            std::this_thread::sleep_for(2ms);
        }
    }
    close(fd);
    EXPECT_EQ(transmitter.refusedCount(), 0u);
    ASSERT_EQ(heard.size(), 51 + stream.size()); // All Notes Off, then the dump
    EXPECT_EQ(Bytes(heard.begin() + 51, heard.end()), stream);
}

} // namespace
