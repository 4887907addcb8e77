// The window program as started from a terminal: its command line and its display check,
// run as a child process without any display.
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

namespace {

CliResult window(const std::string& environment, const std::vector<std::string>& args) {
    return runProgram("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + environment,
                      BANKSHUTTLE_WINDOW, args);
}

TEST(WindowProgram, AnswersWithoutADisplayAndNeverAborts) {
    CliResult r = window("", {"--help"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out.rfind("Usage: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("bankshuttle [options] [file]"), std::string::npos);
    r = window("", {"--version"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "bankshuttle " BANKSHUTTLE_VERSION "\n");
    r = window("", {"--colour"});
    EXPECT_EQ(r.exit, 2);
    // No display, and one that does not answer: one line each, exit 1.
    r = window("", {});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "bankshuttle: no display to open the window on (DISPLAY and "
                     "WAYLAND_DISPLAY are not set)\n");
    r = window("DISPLAY=:97", {});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "bankshuttle: the display \":97\" cannot be reached\n");
}

} // namespace
