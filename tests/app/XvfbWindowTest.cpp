// The real bankshuttle program under Xvfb, driven by key presses as a person would: open a
// dump named on the command line, Ctrl+T, Enter on "Ready?", Escape a few messages later;
// Enter on a row of the table for its message. The test instrument on the JACK test server
// tells what arrived, and when.
#include "cli/CliRunner.h"
#include "support/JackInstrument.h"
#include "support/Messages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Runs a shell command and gives back its first line of output.
std::string shell(const std::string& command) {
    std::string line;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char text[256];
        if (std::fgets(text, sizeof text, pipe) != nullptr) {
            line = text;
        }
        pclose(pipe);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

// The program is not our child (the shell started it): it has ended when its /proc entry is
// gone or a zombie. Until then its JACK client is still on the server, and its leaving would
// reach the next test as a change of the MIDI setup.
void waitUntilEnded(pid_t pid) {
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(stat);
        std::string line;
        if (!std::getline(in, line)) {
            return;
        }
        const std::size_t paren = line.rfind(')');
        if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z') {
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "the program (pid " << pid << ") did not end within 20 s of SIGKILL";
}

class XvfbWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // Xvfb picks a free display and says which; then it must answer. -noreset: by default
        // an X server resets itself when its last client leaves (here the check below, just
        // before the program comes) and refuses the clients that come meanwhile.
        const std::string started =
            shell("Xvfb -displayfd 1 -noreset -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & "
                  "echo $! >" +
                  m_dir.file("xvfb.pid") + "; head -n 1");
        ASSERT_FALSE(started.empty()) << "Xvfb did not start";
        m_display = ":" + started;
        ASSERT_EQ(std::system(("DISPLAY=" + m_display +
                               " timeout 20 sh -c 'until xdotool getdisplaygeometry >/dev/null "
                               "2>&1; do sleep 0.05; done'")
                                  .c_str()),
                  0)
            << "Xvfb never answered on " << m_display;
    }
    void stopXvfb() {
        std::ifstream pid(m_dir.file("xvfb.pid"));
        pid_t xvfb = 0;
        if (pid >> xvfb && xvfb > 0) {
            kill(xvfb, SIGTERM);
        }
    }
    void TearDown() override {
        if (m_program > 0) {
            kill(m_program, SIGKILL);
            waitUntilEnded(m_program);
        }
        // The program's stderr in the test's log: an abort or a sanitizer report is read there.
        const Bytes said = TempDir::read(m_dir.file("program.err"));
        if (!said.empty()) {
            std::printf("the program's stderr:\n%s\n",
                        std::string(said.begin(), said.end()).c_str());
        }
        stopXvfb();
    }
    std::string x(const std::string& args) {
        // A window that never comes fails the test instead of holding it up.
        return shell("DISPLAY=" + m_display + " timeout 20 xdotool " + args);
    }

    // Starts the program on `file` with the MIDI system `api`; its main window, or "".
    std::string launch(const std::string& file, const std::string& api) {
        const std::string pid =
            shell("DISPLAY=" + m_display + " BANKSHUTTLE_MIDI_API=" + api + " " +
                  shellQuoted(BANKSHUTTLE_WINDOW) + " " + shellQuoted(file) + " >/dev/null 2>" +
                  m_dir.file("program.err") + " & echo $!");
        m_program = static_cast<pid_t>(std::stol(pid));
        const std::string name = std::filesystem::path(file).filename().string();
        return x("search --sync --name '" + name + "' | head -n 1");
    }

    TempDir m_dir;
    std::string m_display;
    pid_t m_program = 0;
};

TEST_F(XvfbWindow, EscapeStopsATransmissionAfterTheMessageInFlight) {
    auto instrument = JackInstrument::open("xvfbsynth");
    ASSERT_NE(instrument, nullptr) << "the JACK test server is not running";
    // Gravel 40 presets: paced at 0.3 s, with an instruction, so "Ready?" asks first.
    Bytes dump;
    for (uint8_t i = 0; i < 20; ++i) {
        const Bytes m = korvoMessage(0x5B, 0x01, 100, i);
        dump.insert(dump.end(), m.begin(), m.end());
    }
    const std::string main = launch(m_dir.write("gravel.syx", dump), "jack");
    ASSERT_FALSE(main.empty());
    x("windowfocus --sync " + main + " key ctrl+t");
    const std::string ready = x("search --sync --name '^Ready' | head -n 1");
    ASSERT_FALSE(ready.empty()) << "no Ready? alert";
    x("windowfocus --sync " + ready + " key Return");

    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (instrument->received().size() < 17 + 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_GE(instrument->received().size(), 17u + 3);
    x("windowfocus --sync " + main + " key Escape");
    const std::string told = x("search --sync --name '^Transmission stopped' | head -n 1");
    EXPECT_FALSE(told.empty()) << "no alert after the stop";
    // The alert comes once the transmission has ended: after it, at most the message that
    // was handed to JACK before it, however late the machine runs either program.
    const std::size_t atTheAlert = instrument->received().size();
    std::this_thread::sleep_for(1500ms); // five more pauses: room for a send that went on

    const auto heard = instrument->received();
    EXPECT_LT(heard.size(), 17u + 20);
    EXPECT_LE(heard.size(), atTheAlert + 1);
}

TEST_F(XvfbWindow, EnterOnARowOpensItsMessage) {
    Bytes dump = korvoMessage(0x38, 0x01, 40);
    const Bytes second = korvoMessage(0x38, 0x02, 2000);
    dump.insert(dump.end(), second.begin(), second.end());
    const std::string main = launch(m_dir.write("strata.syx", dump), "none");
    ASSERT_FALSE(main.empty());
    x("windowfocus --sync " + main + " key Down Down Return");
    EXPECT_FALSE(x("search --sync --name '^Message 1$' | head -n 1").empty());
    x("windowfocus --sync " + main + " key Up Return");
    EXPECT_FALSE(x("search --sync --name '^Message 0$' | head -n 1").empty());
}

} // namespace
