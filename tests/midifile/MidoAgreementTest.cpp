// Python's mido, an independent parser, reads files our writer produced and must see every
// message's bytes and every delta time that we meant to write.
#include "core/event.h"
#include "midifile/TQMidiFileWriter.h"
#include "support/TempDir.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>

namespace {

// Debian's python3, which owns python3-mido, whatever python3 comes first on PATH.
constexpr const char* kPython = "/usr/bin/python3";

std::string hex(const buffer& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::vector<std::string> runMido(const std::string& path) {
    const std::string command = std::string(kPython) + " " + MIDO_DUMP_SCRIPT + " " + path;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> lines;
    if (!pipe) {
        return lines;
    }
    std::string line;
    for (int c; (c = std::fgetc(pipe.get())) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    return lines;
}

// The delta time a message must get: its pause plus the previous message's transmission, in
// whole ticks of 65 byte times (1/3125 s each) at division 24.
uint64_t expectedDelta(double offset, std::size_t previousSize) {
    const uint64_t pause = static_cast<uint64_t>(std::ceil(65.0 * (48.0 * offset)));
    const uint64_t previous = (previousSize + 64) / 65 * 65;
    return (pause + previous + 64) / 65;
}

TEST(MidoAgreement, MessagesAndDeltaTimes) {
    TempDir dir;
    const std::string path = dir.file("dump.mid");
    std::mt19937 random(11);
    Dump dump;
    for (int i = 0; i < 200; ++i) {
        midi::event e(2 + random() % 5000, 0);
        for (uint8_t& b : e) {
            b = static_cast<uint8_t>(random() % 0x80);
        }
        e.front() = 0xF0;
        e.back() = 0xF7;
        const double offsets[] = {0.0, 0.3, 2.0, 0.5, 1.25};
        e.m_offset = offsets[random() % 5];
        dump.push_back(e);
    }
    const buffer name{'B', 'a', 'n', 'k', ' ', 0xC3, 0xA4};
    const buffer kept{0x31, 0x01, 0x02};
    {
        TQMidiFileWriter w(path.c_str(), 24);
        w.beginTrack();
        w.writeMetaEvent(0x03, name, false);
        w.writeMetaEvent(0x7F, kept, false);
        for (const midi::event& e : dump) {
            ASSERT_TRUE(w.writeEvent(e, e.m_offset));
        }
        w.endTrack();
        ASSERT_FALSE(w.fail());
    }

    const std::vector<std::string> lines = runMido(path);
    ASSERT_EQ(lines.size(), 2 + 2 + dump.size() + 1) << "mido could not read the file";
    EXPECT_EQ(lines[0], "format 0 tracks 1 division 24");
    EXPECT_EQ(lines[1], "track");
    EXPECT_EQ(lines[2], "0 meta 03 " + hex(name));
    EXPECT_EQ(lines[3], "0 meta 7f " + hex(kept));
    std::size_t previous = 0;
    for (std::size_t i = 0; i < dump.size(); ++i) {
        SCOPED_TRACE(i);
        const uint64_t delta = expectedDelta(dump[i].m_offset, previous);
        EXPECT_EQ(lines[4 + i], std::to_string(delta) + " " + hex(dump[i]));
        previous = dump[i].size();
    }
    EXPECT_EQ(lines.back(), std::to_string((previous + 64) / 65) + " meta 2f ");
}

} // namespace
