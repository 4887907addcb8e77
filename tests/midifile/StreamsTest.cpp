#include "midifile/TQofstream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

class Streams : public ::testing::Test {
protected:
    // What a sequence of writes leaves in a file.
    template <class Writes>
    Bytes written(Writes writes) {
        const std::string path = m_dir.file("out.bin");
        {
            TQofstream out(path.c_str());
            writes(out);
        }
        return TempDir::read(path);
    }

    TempDir m_dir;
};

TEST_F(Streams, WriteFixedWidth) {
    const Bytes bytes = written([](TQofstream& out) {
        EXPECT_EQ(out.writeUInt32(6, true), 4u);
        EXPECT_EQ(out.writeUInt16(0x1234, true), 2u);
        EXPECT_EQ(out.writeByte(0xAB), 1u);
        const uint8_t data[2] = {7, 8};
        EXPECT_EQ(out.writeBytes(data, 0), 0u);
        EXPECT_EQ(out.writeBytes(nullptr, 2), 0u);
        EXPECT_EQ(out.writeBytes(data, 2), 2u);
        EXPECT_EQ(out.tell(), 9);
    });
    EXPECT_EQ(bytes, (Bytes{0, 0, 0, 6, 0x12, 0x34, 0xAB, 7, 8}));
}

TEST_F(Streams, WriteVarLen) {
    const Bytes bytes = written([](TQofstream& out) {
        EXPECT_EQ(out.writeVarLen(0), 1u);
        EXPECT_EQ(out.writeVarLen(0x60), 1u);
        EXPECT_EQ(out.writeVarLen(0x80), 2u);
        EXPECT_EQ(out.writeVarLen(0x3FFF), 2u);
        EXPECT_EQ(out.writeVarLen(0x4000), 3u);
        EXPECT_EQ(out.writeVarLen(0x0FFFFFFF), 4u);
        EXPECT_EQ(out.writeVarLen(0x10000000), 0u); // cannot be represented: nothing
        EXPECT_EQ(out.writeVarLen(UINT64_MAX), 0u);
    });
    EXPECT_EQ(bytes, (Bytes{0x00, 0x60, 0x81, 0x00, 0xFF, 0x7F, 0x81, 0x80, 0x00, 0xFF, 0xFF, 0xFF,
                            0x7F}));
}

TEST_F(Streams, VarLenRoundTrip) {
    std::vector<uint64_t> values;
    for (uint64_t v = 1; v <= 0x0FFFFFFF; v = v * 3 + 1) {
        values.push_back(v);
        values.push_back(v - 1);
    }
    const std::string path = m_dir.file("vlq.bin");
    {
        TQofstream out(path.c_str());
        for (uint64_t v : values) {
            out.writeVarLen(v);
        }
    }
    // Decoded as the format defines it: 7 bits a byte, high bit set on all but the last.
    const Bytes bytes = TempDir::read(path);
    std::size_t at = 0;
    for (uint64_t v : values) {
        uint64_t decoded = 0;
        while (at < bytes.size() && (bytes[at] & 0x80)) {
            decoded = (decoded << 7) | (bytes[at++] & 0x7F);
        }
        ASSERT_LT(at, bytes.size());
        decoded = (decoded << 7) | bytes[at++];
        EXPECT_EQ(decoded, v);
    }
    EXPECT_EQ(at, bytes.size());
}

TEST_F(Streams, UnwritableFileIsFailed) {
    TQofstream out(m_dir.file("no/such/folder/x.mid").c_str());
    EXPECT_TRUE(out.fail());
    EXPECT_EQ(out.tell(), -1);
    EXPECT_EQ(out.writeUInt32(1, true), 4u); // fixed widths report their width regardless
    out.seek(0);
    EXPECT_TRUE(out.fail());
}

} // namespace
