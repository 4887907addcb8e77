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
    std::string diagnostic;
    const auto service = createMidiService("BankShuttle", "coremidi", &diagnostic);
    EXPECT_EQ(service->apiName(), "none");
    EXPECT_NE(diagnostic.find("unknown MIDI system \"coremidi\""), std::string::npos);
}

} // namespace
