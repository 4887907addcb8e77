// Receives of a dump of 1,000 numbered messages that the test instrument sends back to back
// (several per cycle), while every core runs a busy loop at the lowest priority (nice 19),
// over whatever JACK server the environment names. For each receive: exact, failed (by
// reason, and whether the bytes were in fact all there), or kept damaged (kept although not
// exact: must never happen), and how many failures saw a late read of our input (the next
// cycle began while our client still copied the sender's buffer).
//   jack_thousand [RECEIVES [SMALLEST LARGEST]]   (message sizes in bytes; 100 of 50 to 150)
#include "NumberedMessage.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/JackInstrument.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int kMessages = 1000;

// Message i: F0 7D i/128 i%128, bytes that depend on i, F7.
std::vector<Bytes> numberedDump(std::size_t smallest, std::size_t largest) {
    std::mt19937 random(11);
    std::vector<Bytes> dump;
    for (int i = 0; i < kMessages; ++i) {
        dump.push_back(numberedMessage(i, smallest + random() % (largest - smallest + 1)));
    }
    return dump;
}

// One busy loop per core at the lowest priority, ended with the benchmark (also when it dies).
class BusyLoops {
public:
    BusyLoops() {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        for (long i = 0; i < cores; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                static_cast<void>(nice(19));
                for (volatile unsigned long spin = 0;;) {
                    spin = spin + 1;
                }
            }
            if (pid > 0) {
                m_pids.push_back(pid);
            }
        }
    }
    ~BusyLoops() {
        for (const pid_t pid : m_pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;

private:
    std::vector<pid_t> m_pids;
};

} // namespace

int main(int argc, char** argv) {
    const int receives = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::size_t smallest = argc > 3 ? std::strtoul(argv[2], nullptr, 10) : 50;
    const std::size_t largest = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 150;
    if (receives <= 0 || smallest < 5 || largest < smallest || largest > 30'000) {
        std::fprintf(stderr, "usage: jack_thousand [RECEIVES [SMALLEST LARGEST]]\n");
        return 2;
    }
    auto service = JackMidiService::open("BankShuttle").valueOr(nullptr);
    auto instrument = JackInstrument::open("thousand" + std::to_string(getpid()));
    if (!service || !instrument) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    MIDIClientRef client = 0;
    if (service->clientCreate("BankShuttle", nullptr, nullptr, &client) != MidiStatus::ok) {
        return 1;
    }
    MIDIEndpointRef source = 0;
    for (int i = 0; i < 100 && source == 0; ++i) {
        std::this_thread::sleep_for(20ms);
        source = TQMidiInterfaceReceiver::SourceNamed(*service, instrument->name() + ": out");
    }
    const std::vector<Bytes> dump = numberedDump(smallest, largest);

    int exact = 0, damaged = 0, silent = 0, lateReadFailures = 0;
    std::map<RecordingFailure, std::pair<int, int>> failed; // (count, of which intact)
    const uint64_t missedBefore = service->missedCycles();
    const uint64_t lateBefore = service->lateReads();
    const auto start = std::chrono::steady_clock::now();
    {
        BusyLoops busy;
        for (int round = 0; round < receives; ++round) {
            instrument->waitUntilQuiet();
            const uint64_t late = service->lateReads();
            TQMidiInterfaceReceiver receiver(*service, client, source);
            Dump recorded;
            receiver.recordOn(recorded);
            instrument->play({{0x90, 0x40, 0x7F}, {0xF8}});
            instrument->play(dump);
            const bool began = receiver.waitForRecordOffWithTimeout(10);
            bool intact = recorded.size() == dump.size();
            for (std::size_t i = 0; intact && i < dump.size(); ++i) {
                intact = Bytes(recorded[i].begin(), recorded[i].end()) == dump[i];
            }
            const RecordingOutcome outcome = receiver.outcome();
            if (!began) {
                ++silent;
            } else if (outcome.complete()) {
                if (intact) {
                    ++exact;
                } else {
                    ++damaged;
                    std::printf("receive %d kept damaged: %zu of %d messages\n", round + 1,
                                recorded.size(), kMessages);
                }
            } else {
                ++failed[outcome.failure].first;
                failed[outcome.failure].second += intact;
                lateReadFailures += service->lateReads() != late;
            }
        }
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d receives of %d messages of %zu to %zu bytes, every core busy at nice 19: "
                "%d exact, %d kept damaged, %d nothing arrived",
                receives, kMessages, smallest, largest, exact, damaged, silent);
    for (const auto& [failure, counts] : failed) {
        std::printf(", %d failed: \"%.45s...\" (%d of them intact)", counts.first,
                    recordingFailureText(failure).c_str(), counts.second);
    }
    std::printf("; %d of the failed saw a late read; our client missed %llu cycles (%llu of "
                "them late reads), JACK reported %llu xruns; %.0f s\n",
                lateReadFailures,
                static_cast<unsigned long long>(service->missedCycles() - missedBefore),
                static_cast<unsigned long long>(service->lateReads() - lateBefore),
                static_cast<unsigned long long>(service->graphXruns()), seconds);
    static_cast<void>(service->clientDispose(client));
    return damaged == 0 ? 0 : 1;
}
