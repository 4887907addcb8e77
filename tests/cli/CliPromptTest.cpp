// send's prompt on a terminal (a pseudo-terminal that the test holds), over the JACK test
// server: Ctrl+C there ends the send with nothing of the dump sent.
#include "support/JackInstrument.h"
#include "support/Messages.h"
#include "support/TempDir.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

TEST(CliPrompt, CtrlCAtThePromptEndsTheSend) {
    const auto instrument = JackInstrument::open("prompt" + std::to_string(getpid()));
    ASSERT_NE(instrument, nullptr) << "the JACK test server is not running";
    TempDir dir;
    const std::string path = dir.write("strata.syx", korvoMessage(0x38, 0x01, 40));
    const std::string output = instrument->name() + ": in";
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(BANKSHUTTLE_CLI, "bankshuttle-cli", "--midi-api", "jack", "send", path.c_str(),
              "--output", output.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // What the terminal shows, until `what` is in it after `from`; false when the program
    // ended first.
    std::string shown;
    const auto showsAfter = [&](const std::string& what, std::size_t from) {
        char buffer[256];
        while (shown.find(what, from) == std::string::npos) {
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    };
    ASSERT_TRUE(showsAfter("Press Enter when the instrument is ready...", 0)) << shown;
    const std::size_t prompted = shown.size();
    ASSERT_EQ(write(terminal, "\x03", 1), 1); // the terminal's interrupt: SIGINT
    // Never a send that runs on: the bar is not drawn after the stop.
    const bool barAfterStop = showsAfter(" s left", prompted);
    if (barAfterStop) {
        kill(child, SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(terminal);
    EXPECT_FALSE(barAfterStop) << shown;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << shown;
    EXPECT_NE(shown.find("transmission stopped: 0 of 1 messages were sent"), std::string::npos)
        << shown;
    for (const auto& event : instrument->received()) {
        EXPECT_NE(event.bytes.front(), 0xF0); // All Notes Off only
    }
}

} // namespace
