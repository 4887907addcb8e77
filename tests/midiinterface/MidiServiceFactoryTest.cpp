#include "midiinterface/MidiServiceFactory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

TEST(MidiServiceFactory, WithoutAMidiSystemTheProgramGetsNoEndpointsAndALine) {
    // A server name that no JACK server uses.
    setenv("JACK_DEFAULT_SERVER", ("bankshuttle-absent-" + std::to_string(getpid())).c_str(), 1);
    for (const char* api : {"", "jack"}) {
        std::string diagnostic;
        const auto service = createMidiService("BankShuttle", api, &diagnostic);
        ASSERT_NE(service, nullptr);
        EXPECT_EQ(service->apiName(), "none");
        EXPECT_NE(diagnostic.find("no JACK server is running"), std::string::npos) << diagnostic;
        EXPECT_EQ(service->numberOfSources(), 0u);
        EXPECT_EQ(service->numberOfDestinations(), 0u);
        EXPECT_EQ(service->source(0), 0u);
    }
    // Without a usable ALSA sequencer, the program says so and goes on with what there is.
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        std::string why;
        const auto automatic = createMidiService("BankShuttle", "", &why);
        EXPECT_NE(why.find("the ALSA sequencer cannot be opened (/dev/snd/seq"), std::string::npos)
            << why;
        const auto forced = createMidiService("BankShuttle", "alsa", &why);
        EXPECT_EQ(forced->apiName(), "none");
        EXPECT_NE(why.find("the ALSA sequencer cannot be opened"), std::string::npos) << why;
        EXPECT_EQ(why.find("JACK"), std::string::npos) << why; // forced: nothing else is tried
    }
    std::string diagnostic;
    const auto service = createMidiService("BankShuttle", "coremidi", &diagnostic);
    EXPECT_EQ(service->apiName(), "none");
    EXPECT_NE(diagnostic.find("unknown MIDI system \"coremidi\""), std::string::npos);
}

} // namespace
