#include "dumptypes/DumpRules.h"
#include "dumptypes/KorvoDumptype.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace dumprules;

midi::event message(uint8_t model, uint8_t kind, std::size_t size = 8) {
    midi::event m(buffer(size, 0x00));
    m[0] = 0xF0;
    m[1] = 0x31;
    if (size > 3) {
        m[3] = model;
    }
    if (size > 4) {
        m[4] = kind;
    }
    m.back() = 0xF7;
    return m;
}

TEST(DumpRules, PacingByModelByte) {
    for (uint8_t kind : {0x00, 0x01, 0x10, 0x7F}) {
        EXPECT_TRUE(isOffsetNeeded({message(0x5C, kind)}));
        EXPECT_TRUE(isOffsetNeeded({message(0x5B, kind)}));
        EXPECT_TRUE(isOffsetNeeded({message(0x77, kind)}));
    }
    EXPECT_FALSE(isOffsetNeeded({message(0x5E, 0x01)})); // the Mk II needs none
    EXPECT_FALSE(isOffsetNeeded({message(0x38, 0x01)}));
    EXPECT_FALSE(isOffsetNeeded({}));
    EXPECT_FALSE(isOffsetNeeded({midi::event{0xF0, 0x31, 0x00}})); // no model byte

    Dump dump{message(0x5C, 0x01), message(0x38, 0x01)};
    dump[1].m_offset = 4.0;
    applyPacing(dump);
    EXPECT_EQ(dump[0].m_offset, kPacedOffset);
    EXPECT_EQ(dump[1].m_offset, kPacedOffset);
}

TEST(DumpRules, ChannelBitsInCopiesOnly) {
    const Dump dump{message(0x38, 0x20), message(0x38, 0x3F), message(0x38, 0, 4)};
    const Dump sent = preparedForTransmit(dump, true, 5);
    EXPECT_EQ(sent[0][4], 0x25);
    EXPECT_EQ(sent[1][4], 0x35);
    EXPECT_EQ(static_cast<const buffer&>(sent[2]), static_cast<const buffer&>(dump[2]));
    const Dump stored = preparedForSave(dump, true);
    EXPECT_EQ(stored[0][4], 0x20);
    EXPECT_EQ(stored[1][4], 0x30);
    EXPECT_EQ(dump[1][4], 0x3F); // the original is untouched
    EXPECT_EQ(preparedForTransmit(dump, false, 5)[1][4], 0x3F);
    EXPECT_EQ(preparedForSave(dump, false)[1][4], 0x3F);
}

TEST(DumpRules, ASoundBankKeepsItsBankNumber) {
    // STRATA 500 bank S05: byte 4 of the first message is the bank, not a channel.
    Dump bank{message(0x60, 0x09), message(0x38, 0x21)};
    bank[0][2] = 0x0D;
    const auto type = identifyDump(&bank);
    ASSERT_EQ(type->title(), "STRATA 500 - Soundbank S05");
    EXPECT_EQ(preparedForSave(bank, *type)[0][4], 0x09);
    EXPECT_EQ(preparedForSave(bank, *type)[1][4], 0x20);
    EXPECT_EQ(preparedForTransmit(bank, *type, 3)[0][4], 0x09);
    EXPECT_EQ(preparedForTransmit(bank, *type, 3)[1][4], 0x23);
}

TEST(DumpRules, PausesOfDaysAreDamage) {
    Dump dump{message(0x38, 0x01), message(0x38, 0x01)};
    dump[1].m_offset = kMaxOffset;
    EXPECT_TRUE(transmitRefusal(dump).ok());
    dump[1].m_offset = 5592405.0; // FF FF FF 7F ticks at division 24
    EXPECT_EQ(transmitRefusal(dump).error().rfind("the pause before message 2 is 5592405 s", 0),
              0u);
}

TEST(DumpRules, TransmitEstimate) {
    // 1,000 bytes with no pauses: 320,000 µs, a progress maximum of 8 ticks of 40 ms.
    Dump plain{message(0x38, 0, 600), message(0x38, 0, 400)};
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(plain), 320000.0);
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(plain) / 0.04 / 1e6, 8.0);
    // Ten paced messages of 100 bytes: 3,320,000 µs, 83 ticks.
    Dump paced(10, message(0x77, 0x01, 100));
    applyPacing(paced);
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(paced), 3320000.0);
    EXPECT_NEAR(transmitEstimateMicroseconds(paced) / 0.04 / 1e6, 83.0, 1e-9);
    // A slower speed counts a byte's share of it; the full cable rate (or a "slower" speed that
    // is not) keeps 320 µs.
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(plain, 500), 2'000'000.0);
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(paced, 100), 3'000'000.0 + 10'000'000.0);
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(plain, 3125), 320000.0);
}

// A chosen pause lengthens the shorter pauses only, never the first message's, and never
// shortens one; the paced 0.3 s of a model that needs it stays when the choice is shorter.
TEST(DumpRules, ChosenPauseIsTheLargerOne) {
    Dump dump{message(0x38, 0x01), message(0x38, 0x01), message(0x38, 0x01), message(0x38, 0x01)};
    dump[0].m_offset = 0.0;
    dump[1].m_offset = 0.01;
    dump[2].m_offset = 2.0;
    dump[3].m_offset = std::nan("");
    const Dump sent = preparedForTransmit(dump, false, 0, false, 0.1);
    EXPECT_EQ(sent[0].m_offset, 0.0);
    EXPECT_EQ(sent[1].m_offset, 0.1);
    EXPECT_EQ(sent[2].m_offset, 2.0);
    EXPECT_TRUE(std::isnan(sent[3].m_offset)); // still refused as damage
    EXPECT_FALSE(transmitRefusal(sent));
    EXPECT_DOUBLE_EQ(transmitEstimateMicroseconds(Dump(sent.begin(), sent.begin() + 2)),
                     0.1e6 + 2 * 8 * 320);

    const Dump paced =
        preparedForTransmit({message(0x5C, 0x01), message(0x5C, 0x01)}, false, 0, false, 0.02);
    EXPECT_EQ(paced[1].m_offset, kPacedOffset);
}

} // namespace
