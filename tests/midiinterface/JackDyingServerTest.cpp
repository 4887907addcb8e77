// A receive over a JACK server that dies in the middle of a dump.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/JackInstrument.h"
#include "support/Messages.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A server of the test's own, killed in the middle of a dump.
TEST(OverADyingJack, AServerKilledMidDumpFailsTheReceive) {
    // A name of its own, but the same in every run and every build folder of its kind: JACK
    // reclaims the registry entry that a killed server leaves only when a server of that name
    // starts again (it holds 8 at most). The regular and the sanitizer build's JACK tests run
    // at the same time, so each kind has its name (tests/CMakeLists.txt).
    const std::string name = DYING_SERVER;
    const std::string state = ::testing::TempDir();
    const std::string fixture = JACKD_FIXTURE;
    ASSERT_EQ(std::system((fixture + " start " + name + " " + state).c_str()), 0);
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    auto service = JackMidiService::open("BankShuttle").valueOr(nullptr);
    auto instrument = JackInstrument::open("dying");
    ASSERT_TRUE(service && instrument);
    MIDIClientRef client = 0;
    ASSERT_EQ(service->clientCreate("BankShuttle", nullptr, nullptr, &client), MidiStatus::ok);
    TQMidiInterfaceReceiver receiver(*service, client,
                                     TQMidiInterfaceReceiver::SourceNamed(*service, "dying: out"));
    Dump recorded;
    receiver.recordOn(recorded);
    std::mt19937 random(13);
    for (int i = 0; i < 5; ++i) {
        instrument->play({randomSysex(100, random)});
        std::this_thread::sleep_for(100ms);
    }
    std::ifstream pidfile(state + "/jackd-" + name + ".pid");
    pid_t pid = 0;
    pidfile >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    receiver.waitForRecordOffWithTimeout(5);
    EXPECT_FALSE(receiver.outcome().complete());
    EXPECT_EQ(receiver.outcome().failure, RecordingFailure::inputGone) << receiver.outcome().reason;
    std::system((fixture + " stop " + name + " " + state).c_str());
}

} // namespace
