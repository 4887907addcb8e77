// The kernel's account of a raw MIDI device (/proc/asound/cardC/midiD), as Linux 6.1 writes it.
#include "midiinterface/alsa/RawMidiProcInfo.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const char* const kTwoInputs = "Test Synth\n"
                               "\n"
                               "Output 0\n"
                               "  Tx bytes     : 51\n"
                               "Input 0\n"
                               "  Rx bytes     : 320000\n"
                               "  Owner PID    : 159\n"
                               "  Buffer size  : 4096\n"
                               "  Avail        : 0\n"
                               "  Overruns     : 97773\n"
                               "Input 1\n"
                               "  Rx bytes     : 0\n";

TEST(RawMidiProcInfo, ReadsOwnerAndOverrunsOfOneInput) {
    const auto held = parseRawInputState(kTwoInputs, 0);
    ASSERT_TRUE(held);
    EXPECT_TRUE(held->open);
    EXPECT_EQ(held->ownerPid, 159);
    EXPECT_EQ(held->overruns, 97773u);
    const auto free = parseRawInputState(kTwoInputs, 1);
    ASSERT_TRUE(free);
    EXPECT_FALSE(free->open);
    EXPECT_FALSE(parseRawInputState(kTwoInputs, 2));
    EXPECT_FALSE(parseRawInputState("Input 0\n  Owner PID    : x\n", 0)->open);
}

TEST(RawMidiProcInfo, NamesAProgramByItsPid) {
    EXPECT_EQ(programWithPid(getpid()).name, "midiinterface_t"); // comm: 15 characters
    EXPECT_EQ(programWithPid(0).name, "");
    EXPECT_EQ(OtherProgram::fromDetail(OtherProgram{1876, "amidi"}.toDetail()).name, "amidi");
    EXPECT_EQ(OtherProgram::fromDetail("1876 ").pid, 1876);
    EXPECT_EQ(OtherProgram::fromDetail("Device or resource busy").pid, 0);
}

} // namespace
