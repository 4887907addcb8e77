#include "midifile/TQifstream.h"
#include "midifile/TQofstream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

class Streams : public ::testing::Test {
protected:
    std::string file(const Bytes& bytes) { return m_dir.write("in.bin", bytes); }

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

TEST_F(Streams, ReadUInt16BigEndianAndShortReads) {
    TQifstream in(file({0x00, 0x18, 0x05}).c_str());
    EXPECT_EQ(in.readUInt16(true), 24);
    EXPECT_EQ(in.readUInt16(true), 0x0500); // the missing byte counts as 0
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(in.readUInt16(true), 0);
    EXPECT_EQ(in.readByte(), 0);
    EXPECT_EQ(in.tell(), -1);

    TQifstream native(file({0x01, 0x02}).c_str());
    uint16_t expected;
    const uint8_t raw[2] = {0x01, 0x02};
    std::memcpy(&expected, raw, 2);
    EXPECT_EQ(native.readUInt16(false), expected);
}

TEST_F(Streams, ReadVarLen) {
    TQifstream in(file({0x81, 0x00, 0x83, 0xFF, 0x7F, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x81}).c_str());
    EXPECT_EQ(in.readVarLen(), 128u);
    EXPECT_EQ(in.readVarLen(), 0xFFFFu);
    EXPECT_EQ(in.readVarLen(), 0u);
    EXPECT_EQ(in.readVarLen(), 0x0FFFFFFFu);
    // The file ends after a byte that announces more: the bits so far, shifted once.
    EXPECT_EQ(in.readVarLen(), 1u << 7);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(in.readVarLen(), 0u);
}

TEST_F(Streams, ReadVarLenOfManyContinuationBytesEnds) {
    Bytes bytes(100000, 0xFF); // never terminated; the end of the file ends it
    TQifstream in(file(bytes).c_str());
    in.readVarLen();
    EXPECT_TRUE(in.fail());
}

TEST_F(Streams, CountThrough) {
    TQifstream in(file({0x01, 0x02, 0xF7, 0x05}).c_str());
    EXPECT_EQ(in.countThrough(0xF7), 3u);
    EXPECT_EQ(in.tell(), 0);
    EXPECT_EQ(in.readByte(), 0x01);
    EXPECT_EQ(in.countThrough(0x05), 3u);
    EXPECT_EQ(in.countThrough(0x02), 1u);

    TQifstream none(file({0x01, 0x02, 0x03}).c_str());
    EXPECT_EQ(none.countThrough(0xF7), 0u);
    EXPECT_TRUE(none.fail());
}

TEST_F(Streams, CountThroughAcrossLargeDistances) {
    // The scan works in blocks; the answer must be the same as byte by byte at any distance.
    for (std::size_t distance : {16383u, 16384u, 16385u, 40000u}) {
        Bytes bytes(distance + 10, 0x11);
        bytes[distance] = 0xF7;
        TQifstream in(file(bytes).c_str());
        in.skip(1);
        EXPECT_EQ(in.countThrough(0xF7), distance) << distance;
        EXPECT_EQ(in.tell(), 1);
    }
    Bytes exact(16384, 0x11); // the file ends exactly at a block's end
    TQifstream in(file(exact).c_str());
    EXPECT_EQ(in.countThrough(0xF7), 0u);
    EXPECT_TRUE(in.fail());
}

TEST_F(Streams, ReadBytesSkipSeek) {
    TQifstream in(file({1, 2, 3, 4, 5}).c_str());
    uint8_t data[8] = {};
    EXPECT_EQ(in.readBytes(data, 0), 0u);
    EXPECT_EQ(in.readBytes(nullptr, 3), 0u);
    EXPECT_EQ(in.tell(), 0);
    EXPECT_TRUE(in.skip(2));
    EXPECT_EQ(in.bytesLeft(), 3u);
    EXPECT_EQ(in.readBytes(data, 8), 3u); // only what is there
    EXPECT_EQ(data[0], 3);
    EXPECT_TRUE(in.fail());
    EXPECT_FALSE(in.skip(1)); // a failed stream does not move
    EXPECT_EQ(in.bytesLeft(), 0u);
}

TEST_F(Streams, MissingFileIsFailedAndReadsNothing) {
    TQifstream in(m_dir.file("missing.mid").c_str());
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(in.readByte(), 0);
    EXPECT_EQ(in.readVarLen(), 0u);
    EXPECT_EQ(in.countThrough(0xF7), 0u);
    EXPECT_EQ(in.bytesLeft(), 0u);
}

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
    TQifstream in(path.c_str());
    for (uint64_t v : values) {
        EXPECT_EQ(in.readVarLen(), v);
    }
    EXPECT_EQ(in.bytesLeft(), 0u);
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
