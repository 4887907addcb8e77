// The rule that lets a JACK test try a transfer again: only on the counter's evidence.
#include "support/Attempts.h"

#include <gtest/gtest-spi.h>

namespace {

TEST(Attempts, ABlamedFailureIsRetriedOnlyWhenTheCounterMoved) {
    // The counter moves in each attempt: three tries, then the failure says so.
    uint64_t missed = 0;
    int tries = 0, settled = 0;
    const AttemptRules moving{[&] { return missed; }, [&] { ++settled; }};
    EXPECT_NONFATAL_FAILURE(requireExactInOneOfThree(moving,
                                                     [&] {
                                                         ++tries;
                                                         ++missed;
                                                         return Attempt::ownCyclesMissed;
                                                     }),
                            "three attempts in a row");
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(settled, 2); // before the second and the third

    // A claim the counter does not back fails at once, with no second attempt.
    tries = 0;
    EXPECT_NONFATAL_FAILURE(requireExactInOneOfThree(moving,
                                                     [&] {
                                                         ++tries;
                                                         return Attempt::ownCyclesMissed;
                                                     }),
                            "its count of them did not move");
    EXPECT_EQ(tries, 1);

    // A backed claim, then an exact attempt: passes.
    tries = 0;
    requireExactInOneOfThree(moving, [&] {
        if (++tries == 1) {
            ++missed;
            return Attempt::ownCyclesMissed;
        }
        return Attempt::exact;
    });
    EXPECT_EQ(tries, 2);
}

} // namespace
