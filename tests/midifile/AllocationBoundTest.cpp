// Damaged files must not make the reader allocate more than about their own size. This
// binary replaces the global allocator to record the largest single request.
#include "MidiFileBytes.h"
#include "midifile/TQMidiFileReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> g_largest{0};
}

void* operator new(std::size_t size) {
    std::size_t seen = g_largest.load();
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace midibytes;

std::size_t largestAllocationReading(const Bytes& file) {
    TempDir dir;
    const std::string path = dir.write("damaged.mid", file);
    g_largest = 0;
    TQMidiFileReader reader(path.c_str());
    if (reader.readTrackHeader()) {
        uint8_t type = 0;
        buffer data;
        while (reader.readMetaEvent(type, data)) {
        }
        Dump dump;
        reader.readEvents(dump);
    }
    return g_largest;
}

// The stream's own buffers are a fixed cost; what matters is that nothing grows with the
// sizes a file declares.
constexpr std::size_t kFixedCost = 64 * 1024;

TEST(AllocationBound, DeclaredSizesDoNotDriveAllocation) {
    const Bytes hugeMeta =
        join({header(0, 1, 24), track({0x00, 0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0x7F, 0x41})});
    EXPECT_LT(largestAllocationReading(hugeMeta), kFixedCost);

    const Bytes hugeSysEx =
        join({header(0, 1, 24), track({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0xF7})});
    EXPECT_LT(largestAllocationReading(hugeSysEx), kFixedCost);

    // Many SysEx messages whose lengths claim 256 MiB each, each ending early.
    Bytes many;
    for (int i = 0; i < 1000; ++i) {
        many.insert(many.end(), {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0xF7});
    }
    EXPECT_LT(largestAllocationReading(join({header(0, 1, 24), track(many)})), kFixedCost);
}

TEST(AllocationBound, ValidLargeMessageNeedsOnlyItsSize) {
    Bytes message{0x00, 0xF0, 0x87, 0xA1, 0x1F}; // declares 118,943 bytes
    const std::size_t body = 0x1D09F; // 118,943 bytes after the length, the 0xF7 included
    message.insert(message.end(), body - 1, 0x01);
    message.push_back(0xF7);
    const Bytes file = join({header(0, 1, 24), track(message)});
    const std::size_t largest = largestAllocationReading(file);
    EXPECT_GE(largest, body + 1);
    EXPECT_LT(largest, file.size() * 3);
}

} // namespace
