// The library folder's listing, and where the library folder is.
#include "midifile/Library.h"
#include "midifile/DumpFiles.h"
#include "midifile/LibrarySettings.h"
#include "support/Messages.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Dump dumpOf(const std::vector<Bytes>& messages) {
    Dump dump;
    for (const Bytes& m : messages) {
        dump.push_back(midi::event(buffer(m.begin(), m.end())));
    }
    return dump;
}

void setAge(const std::string& path, int secondsAgo) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

TEST(Library, ListsWhatEveryDumpFileHoldsNewestFirstAndWhyOthersCannotBeRead) {
    TempDir dir;
    fs::create_directories(dir.path() / "STRATA" / "old");
    const std::string mid = (dir.path() / "STRATA" / "old" / "presets.MID").string();
    ASSERT_TRUE(storeDump(
        mid, dumpOf({korvoMessage(0x38, 0x01, 100), korvoMessage(0x38, 0x01, 50)}), "", "", {}));
    Bytes syx = korvoMessage(0x5D, 0x01, 300);
    const std::string good = dir.write("omnigrid.syx", syx);
    syx.resize(120);
    const std::string cut = dir.write("cut.syx", syx);
    const std::string other = dir.write("other maker.syx", {0xF0, 0x43, 0x00, 0x01, 0xF7});
    dir.write("notes.txt", {'x'});
    fs::create_symlink(dir.path(), dir.path() / "loop");
    setAge(mid, 300);
    setAge(good, 200);
    setAge(cut, 100);
    setAge(other, 0);

    const auto listed = library::read(dir.path());
    ASSERT_TRUE(listed);
    const std::vector<library::Entry>& e = listed.value();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].path, "other maker.syx");
    EXPECT_EQ(e[0].dumpType, "NO KoRvO Dump");
    EXPECT_FALSE(e[0].error);
    EXPECT_EQ(e[1].path, "cut.syx");
    EXPECT_EQ(e[1].error.value_or(""),
              "the message at offset 0 has no end (0xF7) before the end of the file at offset 120");
    EXPECT_EQ(e[1].bytes, 120u);
    EXPECT_EQ(e[2].path, "omnigrid.syx");
    EXPECT_EQ(e[2].dumpType, "OMNIGRID - Presets");
    EXPECT_EQ(e[2].messages, 1u);
    EXPECT_EQ(e[3].path, "STRATA/old/presets.MID");
    EXPECT_EQ(e[3].dumpType, "STRATA 500 - Presets");
    EXPECT_EQ(e[3].messages, 2u);
    EXPECT_EQ(e[3].bytes, fs::file_size(mid));
    EXPECT_GT(e[2].modified, e[3].modified);

    EXPECT_FALSE(library::read(dir.path() / "missing"));
    EXPECT_FALSE(library::read(good)); // a file is no folder
}

TEST(Library, AWalkKeepsWhatItKnowsWhenFoldersGoMeanwhileAndTakesAnyName) {
    TempDir dir;
    const Bytes syx = korvoMessage(0x5D, 0x01, 30);
    for (int i = 0; i < 300; ++i) {
        const std::string sub = "set" + std::to_string(i);
        fs::create_directories(dir.path() / sub);
        for (int j = 0; j < 5; ++j) {
            dir.write(sub + "/" + std::to_string(j) + ".syx", syx);
        }
    }
    // Not UTF-8: the name is listed as the file system has it and opens by that name.
    const std::string latin1 = "caf\xE9.syx";
    dir.write(latin1, syx);
    // Every odd subfolder goes while the walk runs; whatever the timing, the walk succeeds
    // and lists every file of the folders that stay.
    std::thread remover([&] {
        for (int i = 1; i < 300; i += 2) {
            fs::remove_all(dir.path() / ("set" + std::to_string(i)));
        }
    });
    std::vector<std::string> folders;
    const auto listed = library::listFiles(dir.path(), &folders);
    remover.join();
    ASSERT_TRUE(listed) << listed.error();
    for (int i = 0; i < 300; i += 2) {
        EXPECT_TRUE(listed.value().contains("set" + std::to_string(i) + "/4.syx")) << i;
    }
    ASSERT_TRUE(listed.value().contains(latin1));
    EXPECT_EQ(library::describe(dir.path(), latin1, listed.value().at(latin1)).dumpType,
              "OMNIGRID - Presets");

    // A walk that is called off ends with a failure, not with part of the folder.
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(library::listFiles(dir.path(), nullptr, &cancel));
}

TEST(Library, TheFolderIsTheChosenOneElseBankShuttleInTheMusicFolder) {
    TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
    EXPECT_EQ(library::folder(), home.path() / "Music" / "BankShuttle");

    fs::create_directories(home.path() / "config" / "BankShuttle");
    home.write("config/user-dirs.dirs", {});
    {
        std::ofstream dirs(home.path() / "config" / "user-dirs.dirs");
        dirs << "# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n";
    }
    EXPECT_EQ(library::folder(), home.path() / "Musik" / "BankShuttle");
    {
        std::ofstream dirs(home.path() / "config" / "user-dirs.dirs");
        dirs << "XDG_MUSIC_DIR=\"$HOME/\"\n"; // no music folder: the home folder
    }
    EXPECT_EQ(library::defaultFolder(), home.path() / "BankShuttle");

    // Any name survives the settings file; a broken or relative value is no choice.
    const fs::path chosen = "/mnt/usb stick/Bänke;1,2=\"3\"%";
    EXPECT_EQ(library::decodeFolder(library::encodeFolder(chosen)), chosen);
    for (const char* broken : {"relative/x", "/x%4", "/x%zz", "", "/a%00b"}) {
        EXPECT_FALSE(library::decodeFolder(broken)) << broken;
    }
    {
        std::ofstream settings(library::settingsFile());
        settings << "[General]\n"
                 << library::kFolderKey << "=" << library::encodeFolder(chosen) << "\n";
    }
    EXPECT_EQ(library::folder(), chosen);
}

} // namespace
