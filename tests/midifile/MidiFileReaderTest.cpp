#include "MidiFileBytes.h"
#include "midifile/TQMidiFileReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace midibytes;

class Reader : public ::testing::Test {
protected:
    // Reads a file the way the open flow does; returns the messages.
    struct Read {
        uint16_t format = 0, tracks = 0, division = 0;
        uint64_t bytesPerTick = 0;
        bool trackHeader = false;
        std::vector<std::pair<uint8_t, Bytes>> metas;
        Dump dump;
        bool whole = false; // readEvents took the track
        std::string error;
    };

    Read read(const Bytes& bytes) {
        const std::string path = m_dir.write("f.mid", bytes);
        TQMidiFileReader reader(path.c_str());
        Read r;
        r.format = reader.m_format;
        r.tracks = reader.m_tracks;
        r.division = reader.m_division;
        r.bytesPerTick = reader.m_bytesPerTick;
        r.trackHeader = reader.readTrackHeader();
        if (r.trackHeader) {
            uint8_t type = 0;
            buffer data;
            while (reader.readMetaEvent(type, data)) {
                r.metas.emplace_back(type, Bytes(data.begin(), data.end()));
            }
            r.dump.push_back(midi::event{0x99}); // readEvents must empty it first
            r.whole = reader.readEvents(r.dump);
            EXPECT_EQ(r.whole, reader.error().empty());
            if (!r.whole) {
                EXPECT_TRUE(r.dump.empty()); // nothing is loaded in part
            }
        }
        r.error = reader.error();
        return r;
    }

    // The events of a track that ends properly.
    Read track0(const Bytes& trackEvents, uint16_t division = 24) {
        return read(join({header(0, 1, division), track(join({trackEvents, kEnd}))}));
    }
    Dump events(const Bytes& trackEvents, uint16_t division = 24) {
        const Read r = track0(trackEvents, division);
        EXPECT_TRUE(r.whole) << r.error;
        return r.dump;
    }
    // The reason a track is refused for.
    std::string refusal(const Bytes& trackEvents) {
        const Read r = track0(trackEvents);
        EXPECT_FALSE(r.whole);
        return r.error;
    }

    const Bytes kEnd{0x00, 0xFF, 0x2F, 0x00};

    TempDir m_dir;
};

Bytes bytesOf(const midi::event& e) {
    return Bytes(e.begin(), e.end());
}

TEST_F(Reader, TheTwoMessageFile) {
    const Read r = read(twoMessageFile());
    EXPECT_EQ(r.format, 0);
    EXPECT_EQ(r.tracks, 1);
    EXPECT_EQ(r.division, 24);
    EXPECT_EQ(r.bytesPerTick, 65u);
    ASSERT_TRUE(r.trackHeader);
    ASSERT_EQ(r.metas.size(), 1u);
    EXPECT_EQ(r.metas[0].first, 0x03);
    EXPECT_EQ(r.metas[0].second, (Bytes{0x41, 0x42}));
    ASSERT_EQ(r.dump.size(), 2u);
    EXPECT_EQ(bytesOf(r.dump[0]), (Bytes{0xF0, 0x7D, 0x01, 0xF7}));
    EXPECT_EQ(r.dump[0].m_offset, 2.0);
    EXPECT_EQ(bytesOf(r.dump[1]), (Bytes{0xF0, 0x7D, 0x02, 0xF7}));
    EXPECT_EQ(r.dump[1].m_offset, 0.0);
}

TEST_F(Reader, OffsetsAreWholeSecondsAfterThePreviousTransmission) {
    Bytes sysex100{0xF0, 0x63};
    sysex100.insert(sysex100.end(), 98, 0x01);
    sysex100.push_back(0xF7);
    Bytes ev{0x60};
    ev.insert(ev.end(), sysex100.begin(), sysex100.end());
    // 17 ticks after a 100-byte message: 17 - floor(100 / 65) = 16 ticks, under a second.
    ev.insert(ev.end(), {0x11, 0xF0, 0x01, 0xF7});
    // 1 tick after a 2-byte message, then 145 ticks (3 s and one tick) after another.
    ev.insert(ev.end(), {0x01, 0xF0, 0x01, 0xF7, 0x81, 0x11, 0xF0, 0x01, 0xF7});
    // A delta shorter than the previous transmission: no pause, never a negative one.
    ev.insert(ev.end(), {0x00, 0xF0, 0x01, 0xF7});
    const Dump dump = events(ev);
    ASSERT_EQ(dump.size(), 5u);
    EXPECT_EQ(dump[0].m_offset, 2.0);
    EXPECT_EQ(dump[1].m_offset, 0.0);
    EXPECT_EQ(dump[2].m_offset, 0.0);
    EXPECT_EQ(dump[3].m_offset, 3.0);
    EXPECT_EQ(dump[4].m_offset, 0.0);

    Bytes afterLong{0x00};
    afterLong.insert(afterLong.end(), sysex100.begin(), sysex100.end());
    afterLong.insert(afterLong.end(), {0x00, 0xF0, 0x01, 0xF7}); // delta 0 < 1 tick of sending
    const Dump d2 = events(afterLong);
    ASSERT_EQ(d2.size(), 2u);
    EXPECT_EQ(d2[1].m_offset, 0.0);
}

TEST_F(Reader, LegalConstructsOfOtherWritersAreReadWhole) {
    // Empty meta events, a 0x7F without data, a marker between messages, escapes (0xF7 events
    // outside a message) and running status: every message, nothing else.
    Read r = track0({0x00, 0xFF, 0x03, 0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0xF0, 0x01, 0xF7,
                     0x00, 0xFF, 0x06, 0x01, 0x4D, 0x00, 0xF7, 0x01, 0xFE, 0x00, 0x90, 0x3C,
                     0x64, 0x00, 0x3E, 0x64, 0x00, 0x40, 0x00, 0x00, 0xF0, 0x02, 0x7E, 0xF7});
    ASSERT_TRUE(r.whole) << r.error;
    ASSERT_EQ(r.metas.size(), 2u);
    EXPECT_TRUE(r.metas[0].second.empty());
    ASSERT_EQ(r.dump.size(), 5u);
    EXPECT_EQ(bytesOf(r.dump[0]), (Bytes{0xF0, 0xF7}));
    EXPECT_EQ(bytesOf(r.dump[2]), (Bytes{0x90, 0x3E, 0x64}));
    EXPECT_EQ(bytesOf(r.dump[3]), (Bytes{0x90, 0x40, 0x00}));
    EXPECT_EQ(bytesOf(r.dump[4]), (Bytes{0xF0, 0x7E, 0xF7}));

    // A SysEx message split into packets comes back as one message, timed by its first.
    r = track0({0x60, 0xF0, 0x02, 0x31, 0x01, 0x05, 0xF7, 0x02, 0x02, 0x03, 0x00, 0xFF, 0x01, 0x00,
                0x00, 0xF7, 0x02, 0x04, 0xF7});
    ASSERT_TRUE(r.whole) << r.error;
    ASSERT_EQ(r.dump.size(), 1u);
    EXPECT_EQ(bytesOf(r.dump[0]), (Bytes{0xF0, 0x31, 0x01, 0x02, 0x03, 0x04, 0xF7}));
    EXPECT_EQ(r.dump[0].m_offset, 2.0);
}

TEST_F(Reader, DamagedTracksAreRefusedWithTheirOffset) {
    // Track events start at offset 22.
    const std::vector<std::pair<Bytes, std::string>> cases{
        // Declared too short: the rest would be read as events.
        {{0x00, 0xF0, 0x02, 0x7D, 0x01, 0x02, 0xF7}, "at offset 32 stands where"},
        // Declared too long: it would swallow the next message.
        {{0x00, 0xF0, 0x05, 0x01, 0x02, 0x03, 0xF7, 0x00, 0xF0, 0x01, 0xF7},
         "byte 0xF7 at offset 28 in the SysEx event at offset 22 is no data byte"},
        {{0x00, 0xF0, 0x03, 0x01, 0x90, 0xF7}, "byte 0x90 at offset 26"},
        {{0x00, 0xF0, 0x02, 0x01, 0x02, 0x00, 0xF0, 0x01, 0xF7},
         "the SysEx message that begins at offset 22 never ends: another begins at offset 27"},
        {{0x00, 0xF0, 0x02, 0x01, 0x02, 0x00, 0x90, 0x3C, 0x64}, "is cut off by the event"},
        {{0x00, 0xF0, 0x02, 0x01, 0x02}, "never ends: the track ends"},
        {{0x00, 0x3C, 0x64}, "data byte 0x3C at offset 23 stands where an event's status"},
        {{0x00, 0x90, 0x3C, 0xF0}, "byte 0xF0 at offset 25 interrupts the message at offset 22"},
        {{0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0xF7}, "more than the track holds"},
        {{0x00, 0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0x7F, 0x41}, "more than the track holds"},
        {{0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "longer than 4 bytes"},
    };
    for (const auto& [trackEvents, said] : cases) {
        const std::string error = refusal(trackEvents);
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
}

TEST_F(Reader, ChannelAndSystemMessages) {
    const Dump dump =
        events({0x00, 0x90, 0x3C, 0x64, 0x00, 0xC0, 0x05, 0x00, 0xE0, 0x00, 0x40, 0x00,
                0xF2, 0x01, 0x02, 0x00, 0xF3, 0x01, 0x00, 0xF8, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_EQ(dump.size(), 6u);
    EXPECT_EQ(bytesOf(dump[0]), (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(bytesOf(dump[1]), (Bytes{0xC0, 0x05}));
    EXPECT_EQ(bytesOf(dump[2]), (Bytes{0xE0, 0x00, 0x40}));
    EXPECT_EQ(bytesOf(dump[3]), (Bytes{0xF2, 0x01, 0x02}));
    EXPECT_EQ(bytesOf(dump[4]), (Bytes{0xF3, 0x01}));
    EXPECT_EQ(bytesOf(dump[5]), (Bytes{0xF8}));
}

TEST_F(Reader, MetaDeltaTimesDoNotShiftMessages) {
    const Dump dump = events({0x81, 0x00, 0xFF, 0x7F, 0x01, 0x31, 0x00, 0xF0, 0x01, 0xF7});
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0].m_offset, 0.0);
}

TEST_F(Reader, Divisions) {
    const Bytes events{0x00, 0xF0, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00};
    Read r = read(join({header(0, 1, 1562), track(events)}));
    EXPECT_EQ(r.bytesPerTick, 1u);
    EXPECT_EQ(r.dump.size(), 1u);
    for (uint16_t unusable : {uint16_t{0}, uint16_t{1563}, uint16_t{0x8000 | 24}}) {
        r = read(join({header(0, 1, unusable), track(events)}));
        EXPECT_EQ(r.bytesPerTick, 0u) << unusable;
        EXPECT_FALSE(r.trackHeader);
        EXPECT_NE(r.error.find("at offset 12"), std::string::npos) << r.error;
    }
    const Dump dump = Reader::events({0x06, 0xF0, 0x01, 0xF7}, 1);
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0].m_offset, 3.0);
}

TEST_F(Reader, UnusableHeadersAndChunks) {
    // "MIDI" marks a file whose writing never finished.
    Read r = read(join({header(0, 1, 24, "MIDI"), track({0x00, 0xF0, 0x01, 0xF7})}));
    EXPECT_EQ(r.tracks, 0);
    EXPECT_FALSE(r.trackHeader);
    EXPECT_NE(r.error.find("never finished"), std::string::npos);

    Bytes other = join({header(0, 1, 24), track(kEnd)});
    std::copy_n("----", 4, other.begin() + 14);
    r = read(other);
    EXPECT_FALSE(r.trackHeader);
    EXPECT_EQ(r.error, "no track chunk (\"MTrk\") at offset 14");

    EXPECT_FALSE(read({}).trackHeader);
    EXPECT_FALSE(read({'M', 'T', 'h'}).trackHeader);
    EXPECT_EQ(read(header(0, 1, 24)).error, "the file ends at offset 14 before its track chunk");

    // Two tracks: read normally; refusing them is the caller's business.
    r = read(join({header(0, 2, 24), track(kEnd)}));
    EXPECT_EQ(r.tracks, 2);
    EXPECT_TRUE(r.trackHeader);
}

TEST_F(Reader, TruncatedFilesAreRefusedWherever) {
    const Bytes full = twoMessageFile();
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        const Read r = read(Bytes(full.begin(), full.begin() + cut));
        SCOPED_TRACE(cut);
        EXPECT_TRUE(r.dump.empty());
        EXPECT_FALSE(r.whole);
        EXPECT_FALSE(r.error.empty());
    }
    EXPECT_TRUE(read(full).whole);
}

TEST_F(Reader, MoreMessagesThanAnyDumpAreRefused) {
    Bytes many;
    for (std::size_t i = 0; i <= kMaxDumpMessages; ++i) {
        many.insert(many.end(), {0x00, 0xFE});
    }
    const std::string error = refusal(many);
    EXPECT_NE(error.find("more than 1000000 messages"), std::string::npos) << error;
}

} // namespace
