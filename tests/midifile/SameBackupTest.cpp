// Telling identical backups apart from different ones, across .syx and .mid and channels.
#include "midifile/SameBackup.h"
#include "midifile/DumpFiles.h"
#include "midifile/Library.h"
#include "support/Messages.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

Dump strataPresets(uint8_t channel, uint8_t fill) {
    Dump dump;
    for (std::size_t size : {100u, 60u}) {
        const auto m = korvoMessage(0x38, static_cast<uint8_t>(0x00 | channel), size, fill);
        dump.push_back(midi::event(buffer(m.begin(), m.end())));
    }
    return dump;
}

TEST(SameBackup, ASyxAndAMidOfOneDumpOnAnotherChannelAreTheSameBackup) {
    TempDir dir;
    const Dump original = strataPresets(0, 0x22);
    std::vector<uint8_t> syx;
    for (const midi::event& m : original) {
        syx.insert(syx.end(), m.begin(), m.end());
    }
    const std::string first = dir.write("first.syx", syx);
    // Received on channel 6 and saved as a .mid later; another with one byte changed.
    ASSERT_TRUE(storeDump(dir.file("again.mid"), strataPresets(5, 0x22), "", "", {}));
    ASSERT_TRUE(storeDump(dir.file("edited.mid"), strataPresets(5, 0x23), "", "", {}));
    fs::last_write_time(first, fs::file_time_type::clock::now() - std::chrono::hours(1));

    EXPECT_EQ(samebackup::fingerprint(original), samebackup::fingerprint(strataPresets(5, 0x22)));
    EXPECT_NE(samebackup::fingerprint(original), samebackup::fingerprint(strataPresets(0, 0x23)));
    EXPECT_TRUE(samebackup::same(original, strataPresets(9, 0x22)));
    EXPECT_FALSE(samebackup::same(original, Dump(original.begin(), original.end() - 1)));

    const auto listed = library::read(dir.path());
    ASSERT_TRUE(listed);
    std::map<std::string, std::optional<std::string>> sameAs;
    std::vector<const library::Entry*> entries;
    for (const library::Entry& e : listed.value()) {
        sameAs[e.path] = e.sameAs;
        entries.push_back(&e);
    }
    EXPECT_EQ(sameAs["again.mid"], "first.syx");
    EXPECT_EQ(sameAs["first.syx"], std::nullopt); // the oldest holds it first
    EXPECT_EQ(sameAs["edited.mid"], std::nullopt);

    const library::Entry* held = samebackup::holder(dir.path(), strataPresets(2, 0x22), entries);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->path, "first.syx");
    EXPECT_EQ(samebackup::holder(dir.path(), strataPresets(2, 0x24), entries), nullptr);
}

} // namespace
