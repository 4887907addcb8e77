#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>

// A transfer over JACK that must be exact, on a machine where our own client may miss a
// processing cycle whatever we do. An attempt is exact, or a failure that blames our own
// client's missed cycles, or something it flagged itself (counted as the last). A blamed
// failure earns another attempt only on evidence the test reads for itself: our client's count
// of missed cycles (`ownMissedCycles`, the service's own) moved during that attempt. Without
// it the attempt fails the test, whatever the program said. Before each further attempt,
// `settle` lets the previous one's traffic die away (the instrument gone quiet). At least one
// of three attempts must be exact.
enum class Attempt { exact, ownCyclesMissed, flagged };

struct AttemptRules {
    std::function<uint64_t()> ownMissedCycles;
    std::function<void()> settle = {};
};

inline void requireExactInOneOfThree(const AttemptRules& rules,
                                     const std::function<Attempt()>& attempt) {
    for (int i = 1; i <= 3; ++i) {
        if (i > 1 && rules.settle) {
            rules.settle();
        }
        const uint64_t missedBefore = rules.ownMissedCycles();
        const Attempt result = attempt();
        if (result != Attempt::ownCyclesMissed || ::testing::Test::HasFailure()) {
            return;
        }
        const uint64_t missedAfter = rules.ownMissedCycles();
        if (missedAfter == missedBefore) {
            ADD_FAILURE() << "attempt " << i
                          << " blamed our own client's missed cycles, but its count of them did "
                             "not move ("
                          << missedBefore << ")";
            return;
        }
        std::printf("attempt %d: our client missed %llu processing cycles, said so%s\n", i,
                    static_cast<unsigned long long>(missedAfter - missedBefore),
                    i < 3 ? "; once more" : "");
    }
    ADD_FAILURE() << "three attempts in a row failed for our own client's missed cycles";
}
