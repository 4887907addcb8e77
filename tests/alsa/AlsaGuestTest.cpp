// The ALSA sequencer backend against a real Linux kernel: run inside the emulated machine
// that run-in-qemu.sh boots, where snd-virmidi gives four "Virtual Raw MIDI" clients whose raw
// devices (/dev/snd/midiC0D0..3) play the instrument, and amidi is a second one.
#include "RawReader.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/alsa/AlsaMidiService.h"
#include "support/Messages.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

std::string virmidi(int n) {
    return "Virtual Raw MIDI 0-" + std::to_string(n) + ": VirMIDI 0-" + std::to_string(n);
}
std::string rawDevice(int n) {
    return "/dev/snd/midiC0D" + std::to_string(n);
}

struct Notifications {
    std::mutex mutex;
    std::condition_variable arrived;
    int count = 0;
    static void proc(const MidiNotification& n, void* self) {
        auto* me = static_cast<Notifications*>(self);
        std::lock_guard lock(me->mutex);
        me->count += n.messageID == kMIDIMsgSetupChanged ? 1 : 0;
        me->arrived.notify_all();
    }
    bool waitFor(int expected, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return count >= expected; });
    }
};

class Alsa : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = AlsaMidiService::open("BankShuttle");
        ASSERT_TRUE(opened) << opened.error();
        m_midi = std::move(opened.value());
        ASSERT_EQ(
            m_midi->clientCreate("BankShuttle", &Notifications::proc, &m_notifications, &m_client),
            MidiStatus::ok);
    }
    void waitUntilDone(TQMidiInterfaceTransmitter& t) {
        const auto deadline = Clock::now() + 120s;
        while (t.isStillTransmitting() && Clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_FALSE(t.isStillTransmitting());
    }

    std::unique_ptr<AlsaMidiService> m_midi;
    Notifications m_notifications;
    MIDIClientRef m_client = 0;
};

TEST_F(Alsa, ListsTheKernelsPortsNeverOurs) {
    std::vector<std::string> sources, destinations;
    for (uint16_t i = 0; i < TQMidiInterfaceReceiver::SourceNumber(*m_midi); ++i) {
        sources.push_back(TQMidiInterfaceReceiver::SourceNameAt(*m_midi, i));
    }
    for (uint16_t i = 0; i < TQMidiInterfaceTransmitter::DestinationNumber(*m_midi); ++i) {
        destinations.push_back(TQMidiInterfaceTransmitter::DestinationNameAt(*m_midi, i));
    }
    for (const auto* list : {&sources, &destinations}) {
        EXPECT_NE(std::find(list->begin(), list->end(), "Midi Through: Midi Through Port-0"),
                  list->end());
        for (int n = 0; n < 4; ++n) {
            EXPECT_NE(std::find(list->begin(), list->end(), virmidi(n)), list->end()) << n;
        }
        for (const std::string& name : *list) {
            EXPECT_EQ(name.find("BankShuttle"), std::string::npos) << name;
            EXPECT_EQ(name.find("System"), std::string::npos) << name;
        }
    }
}

TEST_F(Alsa, RecordsADumpFromARawMidiDeviceExactly) {
    std::mt19937 random(1);
    std::vector<Bytes> dump;
    Bytes stream;
    for (int i = 0; i < 200; ++i) {
        dump.push_back(randomSysex(5 + random() % 19996, random));
        stream.insert(stream.end(), dump.back().begin(), dump.back().end());
    }
    const MIDIEndpointRef source = TQMidiInterfaceReceiver::SourceNamed(*m_midi, virmidi(0));
    ASSERT_NE(source, 0u);
    TQMidiInterfaceReceiver receiver(*m_midi, m_client, source);
    Dump recorded;
    receiver.recordOn(recorded);
    const int fd = ::open(rawDevice(0).c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::thread instrument([&] {
        // In pieces, as a serial line would deliver them, but 80 times faster than one. (A
        // sender faster than the sequencer's reader makes the kernel report an overflow of
        // our input, which fails the recording: the sequencer cannot say whether bytes were
        // lost.)
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::min<std::size_t>(1024, stream.size() - at);
            const ssize_t written = write(fd, stream.data() + at, n);
            if (written <= 0) {
                break;
            }
            at += static_cast<std::size_t>(written);
            std::this_thread::sleep_for(4ms);
        }
    });
    EXPECT_TRUE(receiver.waitForRecordOffWithTimeout(10));
    EXPECT_TRUE(receiver.outcome().complete()) << receiver.outcome().reason;
    instrument.join();
    close(fd);
    ASSERT_EQ(recorded.size(), dump.size());
    for (std::size_t i = 0; i < dump.size(); ++i) {
        ASSERT_EQ(Bytes(recorded[i].begin(), recorded[i].end()), dump[i]) << "message " << i;
    }
}

TEST_F(Alsa, TransmitsADumpToARawMidiDeviceExactly) {
    RawReader instrument(rawDevice(1));
    ASSERT_TRUE(instrument.ok());
    std::mt19937 random(2);
    Dump dump;
    Bytes expected = allNotesOff();
    for (std::size_t size : {10u, 20000u, 300u, 5u}) {
        const Bytes m = randomSysex(size, random);
        dump.push_back(midi::event(buffer(m.begin(), m.end()), 0.0));
        expected.insert(expected.end(), m.begin(), m.end());
    }
    const MIDIEndpointRef destination =
        TQMidiInterfaceTransmitter::DestinationNamed(*m_midi, virmidi(1));
    ASSERT_NE(destination, 0u);
    TQMidiInterfaceTransmitter transmitter(*m_midi, m_client, destination);
    const auto start = Clock::now();
    transmitter.transmitDump(dump);
    waitUntilDone(transmitter);
    // 20,315 bytes take at least 6.5 s on a cable; the transmitter must not be faster.
    EXPECT_GE(Clock::now() - start, 6500ms);
    EXPECT_EQ(transmitter.refusedCount(), 0u);
    EXPECT_EQ(instrument.waitFor(expected.size(), 5s), expected);
}

TEST_F(Alsa, APortOfAnotherClientIsASetupChange) {
    snd_seq_t* helper = nullptr;
    ASSERT_EQ(snd_seq_open(&helper, "default", SND_SEQ_OPEN_DUPLEX, 0), 0);
    snd_seq_set_client_name(helper, "Helper");
    const int port = snd_seq_create_simple_port(helper, "helper out",
                                                SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    ASSERT_GE(port, 0);
    // Generous waits that only end a test whose news never comes.
    EXPECT_TRUE(m_notifications.waitFor(1, 20s));
    EXPECT_NE(TQMidiInterfaceReceiver::SourceNamed(*m_midi, "Helper: helper out"), 0u);
    snd_seq_delete_simple_port(helper, port);
    snd_seq_close(helper);
    EXPECT_TRUE(m_notifications.waitFor(2, 20s));
    EXPECT_EQ(TQMidiInterfaceReceiver::SourceNamed(*m_midi, "Helper: helper out"), 0u);
}

TEST_F(Alsa, AmidiSendsWhatWeRecordAndRecordsWhatWeSend) {
    std::mt19937 random(3);
    Bytes sent;
    std::vector<Bytes> dump;
    for (int i = 0; i < 5; ++i) {
        dump.push_back(randomSysex(100 + random() % 900, random));
        sent.insert(sent.end(), dump.back().begin(), dump.back().end());
    }
    {
        std::ofstream("/tmp/dump.syx", std::ios::binary)
            .write(reinterpret_cast<const char*>(sent.data()),
                   static_cast<std::streamsize>(sent.size()));
    }
    TQMidiInterfaceReceiver receiver(*m_midi, m_client,
                                     TQMidiInterfaceReceiver::SourceNamed(*m_midi, virmidi(2)));
    Dump recorded;
    receiver.recordOn(recorded);
    ASSERT_EQ(std::system("amidi -p hw:0,2 -s /tmp/dump.syx"), 0);
    EXPECT_TRUE(receiver.waitForRecordOffWithTimeout(5));
    ASSERT_EQ(recorded.size(), dump.size());
    for (std::size_t i = 0; i < dump.size(); ++i) {
        EXPECT_EQ(Bytes(recorded[i].begin(), recorded[i].end()), dump[i]);
    }

    // amidi records (and stops after 2 s of silence) while we transmit.
    std::thread recorder([] { std::system("amidi -p hw:0,3 -r /tmp/heard.syx -t 2"); });
    // Sent once amidi holds the device (the emulated machine may take seconds to start it).
    const auto listening = [] {
        return std::system("for fd in /proc/[0-9]*/fd/*; do readlink \"$fd\"; done 2>/dev/null "
                           "| grep -q '^/dev/snd/midiC0D3$'") == 0;
    };
    bool ready = listening();
    for (int i = 0; i < 200 && !ready; ++i) {
        std::this_thread::sleep_for(50ms);
        ready = listening();
    }
    if (!ready) {
        recorder.join(); // amidi ends after its 2 s of silence
        FAIL() << "amidi never opened the device";
    }
    Dump sending;
    for (const Bytes& m : dump) {
        sending.push_back(midi::event(buffer(m.begin(), m.end())));
    }
    TQMidiInterfaceTransmitter transmitter(
        *m_midi, m_client, TQMidiInterfaceTransmitter::DestinationNamed(*m_midi, virmidi(3)));
    transmitter.transmitDump(sending);
    waitUntilDone(transmitter);
    recorder.join();
    std::ifstream heard("/tmp/heard.syx", std::ios::binary);
    const Bytes got{std::istreambuf_iterator<char>(heard), std::istreambuf_iterator<char>()};
    Bytes expected = allNotesOff();
    expected.insert(expected.end(), sent.begin(), sent.end());
    EXPECT_EQ(got, expected);
}

} // namespace
