#include "core/event.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace {

std::string addressOf(const void* p) {
    std::ostringstream out;
    out << p;
    return out.str();
}

TEST(Buffer, DebugStringNamesTheObjectNotTheBytes) {
    const buffer bytes{0xF0, 0x7D, 0xF7};
    EXPECT_EQ(bytes.debugString(), "buffer < " + addressOf(&bytes) + " > ");
    EXPECT_EQ(addressOf(&bytes).rfind("0x", 0), 0u);
}

TEST(Event, DebugStringShowsOffsetOnSecondLine) {
    midi::event event;
    const std::string head = "midi::event < " + addressOf(&event) + " >\n";
    EXPECT_EQ(event.debugString(), head + "m_offset: 0 ");
    event.m_offset = 2.0;
    EXPECT_EQ(event.debugString(), head + "m_offset: 2 ");
    event.m_offset = 0.3;
    EXPECT_EQ(event.debugString(), head + "m_offset: 0.3 ");
    event.m_offset = 1.0 / 3.0; // at most six significant digits
    EXPECT_EQ(event.debugString(), head + "m_offset: 0.333333 ");

    // Reached through the base class, the event still describes itself.
    const buffer& asBuffer = event;
    EXPECT_EQ(asBuffer.debugString().rfind("midi::event < ", 0), 0u);
}

TEST(Event, DefaultIsEmptyWithZeroOffset) {
    const midi::event event;
    EXPECT_TRUE(event.empty());
    EXPECT_EQ(event.m_offset, 0.0);
}

TEST(Dump, CopyIsIndependentOfOriginal) {
    Dump original{midi::event{0xF0, 0x31, 0x00, 0x38, 0x1B, 0xF7}, midi::event{0xF0, 0xF7}};
    original[1].m_offset = 0.5;

    Dump copy = original;
    copy[0][4] = 0x10;
    copy[1].m_offset = 0.3;
    copy[0].push_back(0x00);

    EXPECT_EQ(original[0], (buffer{0xF0, 0x31, 0x00, 0x38, 0x1B, 0xF7}));
    EXPECT_EQ(original[1].m_offset, 0.5);

    midi::event assigned;
    assigned = original[1];
    assigned[0] = 0x00;
    EXPECT_EQ(original[1][0], 0xF0);
    EXPECT_EQ(assigned.m_offset, 0.5);
}

TEST(Event, DestroyedThroughBufferReleasesItsBytes) {
    // Under the sanitizer build a missing virtual destructor shows up as a leak or a
    // new-delete size mismatch.
    std::unique_ptr<buffer> owner = std::make_unique<midi::event>(100000, uint8_t{0x7F});
    EXPECT_EQ(owner->size(), 100000u);
    owner.reset();
}

} // namespace
