#include "MidiFileBytes.h"
#include "midifile/TQMidiFileReader.h"
#include "midifile/TQMidiFileWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace midibytes;

buffer sysex(std::size_t size, uint8_t fill = 0x11) {
    buffer b(size, fill);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

class Writer : public ::testing::Test {
protected:
    std::string path() const { return m_dir.file("out.mid"); }
    Bytes bytes() const { return TempDir::read(path()); }

    TempDir m_dir;
};

TEST_F(Writer, TheTwoMessageFileByteForByte) {
    {
        TQMidiFileWriter w(path().c_str(), 24);
        EXPECT_EQ(w.m_bytesPerTick, 65u);
        w.beginTrack();
        w.writeMetaEvent(0x03, buffer{0x41, 0x42}, false);
        EXPECT_TRUE(w.writeEvent(buffer{0xF0, 0x7D, 0x01, 0xF7}, 2.0));
        EXPECT_EQ(w.m_lastTime, 65u);
        EXPECT_TRUE(w.writeEvent(buffer{0xF0, 0x7D, 0x02, 0xF7}, 0.0));
        w.endTrack();
        EXPECT_EQ(w.m_trackLength, 22u);
        EXPECT_EQ(w.m_tracks, 1);
        EXPECT_FALSE(w.fail());
    }
    EXPECT_EQ(bytes(), twoMessageFile());
}

TEST_F(Writer, DeltaTimesAndLengths) {
    {
        TQMidiFileWriter w(path().c_str(), 24);
        w.beginTrack();
        w.writeEvent(sysex(100), 0.0);
        // 0.3 s is 936 byte times (48 × 0.3 is just below 14.4), plus 130 for the
        // 100-byte message before: 17 ticks.
        w.writeEvent(sysex(200), 0.3);
        w.writeEvent(buffer{}, 5.0); // nothing at all
        w.writeMetaEvent(0x01, buffer{}, false);
        w.endTrack();
    }
    const Bytes b = bytes();
    std::size_t at = 22;
    EXPECT_EQ(b[at], 0x00); // the first message, no pause
    EXPECT_EQ(b[at + 1], 0xF0);
    EXPECT_EQ(b[at + 2], 0x63); // 99
    at += 3 + 99;
    EXPECT_EQ(b[at], 17);
    EXPECT_EQ(b[at + 1], 0xF0);
    EXPECT_EQ(b[at + 2], 0x81); // 199 as 81 47
    EXPECT_EQ(b[at + 3], 0x47);
    at += 4 + 199;
    EXPECT_EQ(Bytes(b.begin() + at, b.begin() + at + 4), (Bytes{0x00, 0xFF, 0x01, 0x00}));
    at += 4;
    // End of track after the last message's transmission: ceil(200 / 65) = 4 ticks.
    EXPECT_EQ(Bytes(b.begin() + at, b.end()), (Bytes{0x04, 0xFF, 0x2F, 0x00}));
    const uint32_t declared = uint32_t(b[18]) << 24 | b[19] << 16 | b[20] << 8 | b[21];
    EXPECT_EQ(declared, b.size() - 22);
}

TEST_F(Writer, OneMessageNoMetaEvents) {
    {
        TQMidiFileWriter w(path().c_str(), 24);
        w.beginTrack();
        w.writeEvent(sysex(131), 2.0);
        w.endTrack();
    }
    const Bytes b = bytes();
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 14), header(0, 1, 24));
    EXPECT_EQ(Bytes(b.begin() + 14, b.begin() + 22),
              (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(1 + 1 + 2 + 130 + 4)}));
    EXPECT_EQ(b[b.size() - 4], 3); // ceil(131 / 65)
}

TEST_F(Writer, SecondTrackMakesFormatOneAndRestartsTime) {
    {
        TQMidiFileWriter w(path().c_str(), 24);
        w.beginTrack();
        w.writeEvent(sysex(100), 0.0);
        w.endTrack();
        w.beginTrack();
        w.writeEvent(sysex(4), 0.0); // no previous-message time in a new track
        w.endTrack();
        EXPECT_EQ(w.m_tracks, 2);
    }
    const Bytes b = bytes();
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 14), header(1, 2, 24));
    const std::size_t second = 22 + 3 + 99 + 4;
    EXPECT_EQ(Bytes(b.begin() + second, b.begin() + second + 8),
              (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 1 + 1 + 1 + 3 + 4}));
    EXPECT_EQ(b[second + 8], 0x00);
}

TEST_F(Writer, InterruptedWritingLeavesProvisionalMarks) {
    {
        TQMidiFileWriter w(path().c_str(), 24);
        w.beginTrack();
        w.writeEvent(sysex(10), 2.0);
    }
    const Bytes b = bytes();
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 14), header(0, 0, 24, "MIDI"));
    EXPECT_EQ(Bytes(b.begin() + 14, b.begin() + 22), (Bytes{'-', '-', '-', '-', 0, 0, 0, 0}));
    TQMidiFileReader reader(path().c_str());
    EXPECT_FALSE(reader.readTrackHeader());
}

TEST_F(Writer, UnrepresentableValuesAreRefusedAndTheFileStaysUnfinished) {
    const double tooLong = 65.0 * 24 * 3600; // at division 24: a delta above 0x0FFFFFFF
    for (double bad : {tooLong, -1.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        {
            TQMidiFileWriter w(path().c_str(), 24);
            w.beginTrack();
            EXPECT_TRUE(w.writeEvent(sysex(10), 0.0));
            const uint64_t before = w.m_trackLength;
            EXPECT_FALSE(w.writeEvent(sysex(10), bad)) << bad;
            EXPECT_EQ(w.m_trackLength, before);
            EXPECT_FALSE(w.writeEvent(sysex(10), 0.0)); // nothing more after a refusal
            w.endTrack();
            EXPECT_TRUE(w.fail());
        }
        const Bytes b = bytes();
        EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{'M', 'I', 'D', 'I'}));
        EXPECT_EQ(b.size(), 22u + 1 + 2 + 9); // only the first message
    }
    // The largest pause that fits is written.
    TQMidiFileWriter w(path().c_str(), 24);
    w.beginTrack();
    EXPECT_TRUE(w.writeEvent(sysex(10), 0x0FFFFFFF / 48.0 - 1.0));
    w.endTrack();
    EXPECT_FALSE(w.fail());
}

TEST_F(Writer, UnwritablePathIsVisibleToTheCaller) {
    TQMidiFileWriter w(m_dir.file("missing/out.mid").c_str(), 24);
    w.beginTrack();
    w.writeEvent(sysex(10), 2.0);
    w.endTrack();
    EXPECT_TRUE(w.fail());
}

TEST_F(Writer, RoundTripThroughTheReader) {
    std::mt19937 random(7);
    Dump dump;
    for (int i = 0; i < 300; ++i) {
        midi::event e(sysex(2 + random() % 3000, static_cast<uint8_t>(random() % 0x70)));
        e.m_offset = (i % 7 == 0) ? double(random() % 5) : (i % 3 == 0 ? 0.3 : 0.0);
        dump.push_back(e);
    }
    dump.push_back(midi::event{0x90, 0x3C, 0x64}); // channel messages are kept too
    dump.push_back(midi::event{0xC0, 0x05});
    {
        TQMidiFileWriter w(path().c_str(), 24);
        w.beginTrack();
        w.writeMetaEvent(0x03, buffer{'N', 'a', 'm', 'e'}, false);
        w.writeMetaEvent(0x7F, buffer{0x31, 0x00, 0x7F}, false);
        w.writeEvent(dump[0], 2.0);
        for (std::size_t i = 1; i < dump.size(); ++i) {
            w.writeEvent(dump[i], dump[i].m_offset);
        }
        w.endTrack();
        ASSERT_FALSE(w.fail());
    }
    TQMidiFileReader reader(path().c_str());
    ASSERT_TRUE(reader.readTrackHeader());
    uint8_t type = 0;
    buffer data;
    ASSERT_TRUE(reader.readMetaEvent(type, data));
    EXPECT_EQ(type, 0x03);
    ASSERT_TRUE(reader.readMetaEvent(type, data));
    EXPECT_EQ(type, 0x7F);
    EXPECT_EQ(data, (buffer{0x31, 0x00, 0x7F}));
    EXPECT_FALSE(reader.readMetaEvent(type, data));
    Dump back;
    reader.readEvents(back);
    ASSERT_EQ(back.size(), dump.size());
    for (std::size_t i = 0; i < dump.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<const buffer&>(back[i]), static_cast<const buffer&>(dump[i]));
        // Whole seconds come back; pauses under a second come back as none.
        const double expected = i == 0 ? 2.0 : std::floor(dump[i].m_offset);
        EXPECT_EQ(back[i].m_offset, expected);
    }
}

} // namespace
