// The names received dumps are stored under, and that storing one never replaces a file.
#include "midifile/BackupName.h"
#include "midifile/AtomicFile.h"
#include "midifile/DumpFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using namespace std::chrono;

TEST(BackupName, TitleAndDateWithUnsafeCharactersReplaced) {
    const year_month_day day{year(2026), month(12), std::chrono::day(9)};
    EXPECT_EQ(backupname::proposed("STRATA 500 - Presets", day),
              "STRATA 500 - Presets 2026-12-09.mid");
    EXPECT_EQ(backupname::proposed("Rumbler10 | Rumbler 12 - Presets", day),
              "Rumbler10 _ Rumbler 12 - Presets 2026-12-09.mid");
    EXPECT_EQ(backupname::proposed("a/b\\c:d*e?\"<>\n", day), "a_b_c_d_e_____ 2026-12-09.mid");
    EXPECT_EQ(backupname::proposed("", year_month_day{year(2027), month(1), std::chrono::day(2)}),
              "untitled 2027-01-02.mid");
    EXPECT_EQ(backupname::numbered("x 2026-12-09.mid", 3), "x 2026-12-09 3.mid");
}

TEST(BackupName, NumberedWhenTakenAndNeverReplaced) {
    TempDir dir;
    const std::string name = "STRATA 500 - Presets 2026-12-09.mid";
    dumpfile::Contents contents;
    contents.dump = {midi::event{0xF0, 0x31, 0x00, 0x38, 0x00, 0xF7}};
    dir.write(name, {'o', 'l', 'd'});
    ASSERT_EQ(symlink("nowhere", dir.file("STRATA 500 - Presets 2026-12-09 2.mid").c_str()), 0);
    EXPECT_EQ(backupname::firstFree(dir.path().string(), name),
              "STRATA 500 - Presets 2026-12-09 3.mid");

    const Result<std::string> stored = backupname::storeAsNew(dir.path().string(), name, contents);
    ASSERT_TRUE(stored) << stored.error();
    EXPECT_EQ(stored.value(), dir.file("STRATA 500 - Presets 2026-12-09 3.mid"));
    EXPECT_EQ(TempDir::read(dir.file(name)), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(loadDump(stored.value())->dump, contents.dump);

    // A file that appears between the check and the move is kept, and the write says so.
    const std::string late = dir.file("late.mid");
    const Result<void> raced = writeFileAtomically(
        late,
        [&](const std::string& temporary) {
            dir.write("late.mid", {'m', 'i', 'n', 'e'});
            return storeDump(temporary, contents).ok();
        },
        Replace::never);
    EXPECT_EQ(raced.code(), kTargetExists);
    EXPECT_EQ(TempDir::read(late), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);
}

} // namespace
