#include "dumptypes/KorvoDumptype.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EventViews, HeaderTextFormatsUpToMaxBytes) {
    Dump dump{midi::event{0xF0, 0x31, 0x0D, 0x38, 0x12, 0x00, 0x7F, 0xF7},
              midi::event{0xF0, 0x31, 0xF7}, midi::event{}, midi::event{0x0A}};
    auto type = identifyDump(&dump);

    EXPECT_EQ(type->headerText(0, 5), "f0 31 0d 38 12");
    EXPECT_EQ(type->headerText(0, 5).size(), 14u);
    EXPECT_EQ(type->headerText(0, 100), "f0 31 0d 38 12 00 7f f7");
    EXPECT_EQ(type->headerText(0, 1), "f0");
    EXPECT_EQ(type->headerText(1, 5), "f0 31 f7");
    EXPECT_EQ(type->headerText(3, 5), "0a");
}

TEST(EventViews, OutOfRangeAndEmptyGiveNothingAndKeepLastText) {
    Dump dump{midi::event{0xF0, 0x31, 0xF7}, midi::event{}};
    auto type = identifyDump(&dump);
    EXPECT_EQ(type->headerText(0, 5), "f0 31 f7");

    EXPECT_EQ(type->headerText(type->eventCount(), 5), "");
    EXPECT_EQ(type->headerText(1, 5), ""); // empty message
    EXPECT_EQ(type->headerText(0, 0), ""); // nothing asked for
    EXPECT_EQ(type->headerText(SIZE_MAX, 5), "");
    EXPECT_NE(type->debugString().find("m_header: f0 31 f7\n"), std::string::npos);

    EXPECT_EQ(type->eventLength(0), 3u);
    EXPECT_EQ(type->eventLength(1), 0u);
    EXPECT_EQ(type->eventLength(type->eventCount()), 0u);
    EXPECT_EQ(type->eventLength(SIZE_MAX), 0u);
}

TEST(EventViews, LaterCallReplacesEarlierText) {
    Dump dump{midi::event{0xF0, 0x01, 0xF7}, midi::event{0xF0, 0x02, 0x03, 0xF7}};
    auto type = identifyDump(&dump);
    const std::string_view first = type->headerText(0, 5);
    EXPECT_EQ(first, "f0 01 f7");
    const std::string_view second = type->headerText(1, 5);
    EXPECT_EQ(second, "f0 02 03 f7");
    // Both views look at the one scratch text.
    EXPECT_EQ(first.data(), second.data());
}

TEST(EventViews, ReadTheDumpAsItIsNow) {
    Dump dump{midi::event{0xF0, 0x31, 0x00, 0x55, 0x00, 0xF7}};
    auto type = identifyDump(&dump);
    dump.push_back(midi::event(300, 0x11));
    EXPECT_EQ(type->eventCount(), 2u);
    EXPECT_EQ(type->eventLength(1), 300u);
    EXPECT_EQ(type->headerText(1, 5), "11 11 11 11 11");
    dump.clear();
    EXPECT_EQ(type->eventCount(), 0u);
    EXPECT_EQ(type->headerText(0, 5), "");
}

} // namespace
