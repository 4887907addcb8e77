// What missed processing cycles do to the bytes a receive gets, on whatever JACK server the
// environment names: many receives of a dump of numbered messages while one of these is late
// for about three periods, in the middle of the dump:
//   none    nothing (the machine's own hiccups only)
//   other   a client of the graph that nothing is connected to stalls its process callback
//   sender  the instrument's own client stalls (a late sender with a queue of its own)
//   own     our process is held back (SIGSTOP), the receiving client's callback with it
//   driver  the server itself is held back (SIGSTOP on SERVER_PID): the driver wakes late
// The receiver runs in a child process so that it can be held back on its own. For each
// receive: exact, a stated failure (with its reason, and whether the bytes were in fact all
// there), or damaged (kept although not exact: must never happen).
//   jack_misses MODE ROUNDS [SERVER_PID]
#include "NumberedMessage.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/JackInstrument.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int kMessages = 40;

// Message i: F0 7D i/128 i%128, 496 bytes that depend on i, F7.
std::vector<Bytes> numberedDump() {
    std::vector<Bytes> dump;
    for (int i = 0; i < kMessages; ++i) {
        dump.push_back(numberedMessage(i, 500));
    }
    return dump;
}

bool readLine(FILE* from, char* line, int size) {
    return std::fgets(line, size, from) != nullptr;
}

// Every byte our client's input delivers, whatever the receiver decides: a port of its own
// beside the receiver's, connected all the time.
struct Collector {
    std::mutex mutex;
    Bytes bytes;
    static void read(MidiPacketList packets, void* self, void*) {
        auto* collector = static_cast<Collector*>(self);
        std::lock_guard lock(collector->mutex);
        for (const MidiPacket& packet : packets) {
            collector->bytes.insert(collector->bytes.end(), packet.bytes.begin(),
                                    packet.bytes.end());
        }
    }
};

// The receiving side: one receive per "go" line, answered by "armed", then, after the
// "played" line, "<began> <failure> <intact>" (intact: the input delivered the dump's bytes
// exactly, whatever the receiver said).
int receiverChild(const std::string& instrument, FILE* commands, FILE* results) {
    auto service = JackMidiService::open("BankShuttle").valueOr(nullptr);
    MIDIClientRef client = 0;
    if (!service ||
        service->clientCreate("BankShuttle", nullptr, nullptr, &client) != MidiStatus::ok) {
        return 1;
    }
    MIDIEndpointRef source = 0;
    for (int i = 0; i < 200 && source == 0; ++i) {
        std::this_thread::sleep_for(20ms);
        source = TQMidiInterfaceReceiver::SourceNamed(*service, instrument + ": out");
    }
    Collector collector;
    MIDIPortRef port = 0;
    if (service->inputPortCreate(client, "all", &Collector::read, &collector, &port) !=
            MidiStatus::ok ||
        service->portConnectSource(port, source, nullptr) != MidiStatus::ok) {
        return 1;
    }
    Bytes expected;
    for (const Bytes& message : numberedDump()) {
        expected.insert(expected.end(), message.begin(), message.end());
    }
    char line[64];
    while (readLine(commands, line, sizeof line)) {
        TQMidiInterfaceReceiver receiver(*service, client, source);
        Dump recorded;
        receiver.recordOn(recorded);
        {
            std::lock_guard lock(collector.mutex);
            collector.bytes.clear();
        }
        std::fprintf(results, "armed\n");
        std::fflush(results);
        const bool began = receiver.waitForRecordOffWithTimeout(10);
        if (!readLine(commands, line, sizeof line)) {
            break;
        }
        std::this_thread::sleep_for(300ms);
        bool intact = false;
        {
            std::lock_guard lock(collector.mutex);
            intact = collector.bytes == expected;
        }
        std::fprintf(results, "%d %d %d\n", began ? 1 : 0,
                     static_cast<int>(receiver.outcome().failure), intact ? 1 : 0);
        std::fflush(results);
    }
    static_cast<void>(service->clientDispose(client));
    return 0;
}

void holdBack(pid_t pid, std::chrono::microseconds how_long) {
    kill(pid, SIGSTOP);
    std::this_thread::sleep_for(how_long);
    kill(pid, SIGCONT);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: jack_misses none|other|sender|own|driver ROUNDS [SERVER_PID]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const int rounds = std::atoi(argv[2]);
    const pid_t server = argc > 3 ? std::atoi(argv[3]) : 0;
    const std::string name = "misses" + std::to_string(getpid());

    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
        return 1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(toChild[1]);
        close(fromChild[0]);
        std::_Exit(receiverChild(name, fdopen(toChild[0], "r"), fdopen(fromChild[1], "w")));
    }
    close(toChild[0]);
    close(fromChild[1]);
    FILE* commands = fdopen(toChild[1], "w");
    FILE* results = fdopen(fromChild[0], "r");

    auto instrument = JackInstrument::open(name);
    auto bystander = JackInstrument::open(name + "-bystander");
    if (!instrument || !bystander) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const auto period = std::chrono::microseconds(instrument->bufferSize() * 1'000'000LL /
                                                  instrument->sampleRate());
    const auto stall = std::chrono::duration_cast<std::chrono::milliseconds>(3 * period) + 1ms;
    const std::vector<Bytes> dump = numberedDump();

    int exact = 0, damaged = 0, silent = 0;
    std::map<int, std::pair<int, int>> failed; // failure: (count, of which intact)
    for (int round = 0; round < rounds; ++round) {
        char line[64];
        std::fprintf(commands, "go\n");
        std::fflush(commands);
        if (!readLine(results, line, sizeof line)) {
            std::fprintf(stderr, "the receiving process ended\n");
            return 1;
        }
        for (int i = 0; i < kMessages; ++i) {
            instrument->play({dump[i]});
            std::this_thread::sleep_for(10ms);
            if (i != kMessages / 2) {
                continue;
            }
            if (mode == "other") {
                bystander->stall(1, stall);
            } else if (mode == "sender") {
                instrument->stall(1, stall);
            } else if (mode == "own") {
                holdBack(child, 3 * period);
            } else if (mode == "driver" && server > 0) {
                holdBack(server, 3 * period);
            }
        }
        std::fprintf(commands, "played\n");
        std::fflush(commands);
        int began = 0, failure = 0, intact = 0;
        if (!readLine(results, line, sizeof line) ||
            std::sscanf(line, "%d %d %d", &began, &failure, &intact) != 3) {
            std::fprintf(stderr, "the receiving process ended\n");
            return 1;
        }
        if (!began) {
            ++silent;
        } else if (failure == 0) {
            intact ? ++exact : ++damaged;
        } else {
            ++failed[failure].first;
            failed[failure].second += intact;
        }
    }
    fclose(commands);
    waitpid(child, nullptr, 0);

    std::printf("%-7s %2d exact, %d damaged, %d nothing arrived", mode.c_str(), exact, damaged,
                silent);
    for (const auto& [failure, counts] : failed) {
        std::printf(", %d failed: \"%.40s...\" (%d of them intact)", counts.first,
                    recordingFailureText(static_cast<RecordingFailure>(failure)).c_str(),
                    counts.second);
    }
    std::printf("\n");
    return damaged == 0 ? 0 : 1;
}
