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
            EXPECT_TRUE(reader.readEvents(r.dump));
        }
        return r;
    }

    Dump events(const Bytes& trackEvents, uint16_t division = 24) {
        return read(join({header(0, 1, division), track(trackEvents)})).dump;
    }

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
    Bytes sysex100{0xF0, 0x62};
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

TEST_F(Reader, SysExLengthIsOnlyAHint) {
    // Declared 2, true length 4: the whole message.
    Dump dump = events({0x00, 0xF0, 0x02, 0x7D, 0x01, 0x02, 0xF7, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(bytesOf(dump[0]), (Bytes{0xF0, 0x7D, 0x01, 0x02, 0xF7}));

    // Declared 0 with the message intact.
    dump = events({0x00, 0xF0, 0x00, 0x7D, 0xF7, 0x00, 0xF0, 0x01, 0x7E, 0xF7});
    ASSERT_EQ(dump.size(), 2u);
    EXPECT_EQ(bytesOf(dump[1]), (Bytes{0xF0, 0x7E, 0xF7}));

    // Declared 8/7 of the true length or more: the scan starts past the message's 0xF7 and
    // the message swallows the next one.
    dump = events({0x00, 0xF0, 0x05, 0x01, 0x02, 0x03, 0xF7, 0x00, 0xF0, 0x01, 0xF7});
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(bytesOf(dump[0]), (Bytes{0xF0, 0x01, 0x02, 0x03, 0xF7, 0x00, 0xF0, 0x01, 0xF7}));
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

TEST_F(Reader, RunningStatusOrADataByteEndsTheMessages) {
    EXPECT_TRUE(events({0x00, 0x3C, 0x64}).empty());
    const Dump dump = events({0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x00, 0x90, 0x40, 0x64});
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(bytesOf(dump[0]), (Bytes{0x90, 0x3C, 0x64}));
}

TEST_F(Reader, MetaEventsInTheWrongPlaces) {
    // A meta event without data ends the meta run and, being a meta event, the messages too.
    Read r =
        read(join({header(0, 1, 24), track({0x00, 0xFF, 0x01, 0x00, 0x00, 0xF0, 0x01, 0xF7})}));
    EXPECT_TRUE(r.metas.empty());
    EXPECT_TRUE(r.dump.empty());

    // A meta event between messages ends the dump there.
    r = read(
        join({header(0, 1, 24), track({0x00, 0xFF, 0x04, 0x01, 0x49, 0x00, 0xF0, 0x01, 0xF7, 0x00,
                                       0xFF, 0x03, 0x01, 0x41, 0x00, 0xF0, 0x02, 0xF7})}));
    ASSERT_EQ(r.metas.size(), 1u);
    EXPECT_EQ(r.metas[0].first, 0x04);
    ASSERT_EQ(r.dump.size(), 1u);
    EXPECT_EQ(bytesOf(r.dump[0]), (Bytes{0xF0, 0xF7}));

    // Meta delta times do not shift the messages' times.
    r = read(join(
        {header(0, 1, 24), track({0x81, 0x00, 0xFF, 0x7F, 0x01, 0x31, 0x00, 0xF0, 0x01, 0xF7})}));
    ASSERT_EQ(r.dump.size(), 1u);
    EXPECT_EQ(r.dump[0].m_offset, 0.0);
}

TEST_F(Reader, Divisions) {
    const Bytes events{0x00, 0xF0, 0x01, 0xF7};
    Read r = read(join({header(0, 1, 1562), track(events)}));
    EXPECT_EQ(r.bytesPerTick, 1u);
    EXPECT_EQ(r.dump.size(), 1u);
    for (uint16_t unusable : {uint16_t{0}, uint16_t{1563}, uint16_t{0x8000 | 24}}) {
        r = read(join({header(0, 1, unusable), track(events)}));
        EXPECT_EQ(r.bytesPerTick, 0u) << unusable;
        EXPECT_FALSE(r.trackHeader);
        EXPECT_TRUE(r.dump.empty());
    }
    r = read(join({header(0, 1, 1), track({0x06, 0xF0, 0x01, 0xF7})}));
    EXPECT_EQ(r.bytesPerTick, 1562u);
    ASSERT_EQ(r.dump.size(), 1u);
    EXPECT_EQ(r.dump[0].m_offset, 3.0);
}

TEST_F(Reader, UnusableHeadersAndChunks) {
    // "MIDI" marks a file whose writing never finished.
    Read r = read(join({header(0, 1, 24, "MIDI"), track({0x00, 0xF0, 0x01, 0xF7})}));
    EXPECT_EQ(r.tracks, 0);
    EXPECT_EQ(r.bytesPerTick, 0u);
    EXPECT_FALSE(r.trackHeader);

    Bytes other = join({header(0, 1, 24), track({0x00, 0xF0, 0x01, 0xF7})});
    std::copy_n("----", 4, other.begin() + 14);
    r = read(other);
    EXPECT_EQ(r.tracks, 1);
    EXPECT_FALSE(r.trackHeader);

    EXPECT_FALSE(read({}).trackHeader);
    EXPECT_FALSE(read({'M', 'T', 'h'}).trackHeader);
    EXPECT_FALSE(read(header(0, 1, 24)).trackHeader); // no track chunk

    // Two tracks: read normally; refusing them is the caller's business.
    r = read(join({header(0, 2, 24), track({})}));
    EXPECT_EQ(r.tracks, 2);
    EXPECT_TRUE(r.trackHeader);
}

TEST_F(Reader, TruncatedFilesKeepTheMessagesBeforeTheCut) {
    const Bytes full = twoMessageFile();
    // Cut anywhere: never a crash, never a message that was not whole in the file.
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        const Read r = read(Bytes(full.begin(), full.begin() + cut));
        SCOPED_TRACE(cut);
        const std::size_t expected = cut >= 40 ? 2 : cut >= 34 ? 1 : 0;
        ASSERT_EQ(r.dump.size(), expected);
        for (const midi::event& e : r.dump) {
            EXPECT_EQ(e.size(), 4u);
            EXPECT_EQ(e.back(), 0xF7);
        }
        EXPECT_EQ(r.metas.size(), cut >= 28 ? 1u : 0u);
    }

    // A SysEx without its 0xF7 is never added, whatever its declared length: a lone 0xF0
    // sent to an instrument would leave it waiting for the rest.
    for (uint8_t declared : {0, 1, 2, 5}) {
        EXPECT_TRUE(events({0x00, 0xF0, declared, 0x01, 0x02, 0x03}).empty()) << int(declared);
    }
    EXPECT_TRUE(events({0x00, 0xF0}).empty());
    // A channel message cut short.
    const Dump dump = events({0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C});
    ASSERT_EQ(dump.size(), 1u);
}

TEST_F(Reader, DeclaredLengthsBeyondTheFileAreRefused) {
    // Meta event claiming 256 MiB of data in a tiny file: no meta event, no messages.
    Read r = read(join({header(0, 1, 24), track({0x00, 0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0x7F, 0x41,
                                                 0x00, 0xF0, 0x01, 0xF7})}));
    EXPECT_TRUE(r.metas.empty());
    // The meta run ended at it, and so did the messages.
    EXPECT_TRUE(r.dump.empty());

    // A SysEx whose declared length points past the end of the file.
    r = read(join({header(0, 1, 24), track({0x00, 0xF0, 0x01, 0xF7, 0x00, 0xF0, 0xFF, 0xFF, 0xFF,
                                            0x7F, 0x01, 0xF7})}));
    ASSERT_EQ(r.dump.size(), 1u);
    EXPECT_EQ(bytesOf(r.dump[0]), (Bytes{0xF0, 0xF7}));

    // A length of absurd size (more than 64 bits of VLQ) is just as harmless.
    Bytes huge{0x00, 0xF0};
    huge.insert(huge.end(), 12, 0xFF);
    huge.insert(huge.end(), {0x7F, 0x01, 0xF7});
    EXPECT_TRUE(events(huge).empty());
}

} // namespace
