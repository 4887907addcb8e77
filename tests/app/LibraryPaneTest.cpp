// The library pane beside the event table: what it lists, how it follows the folder, and
// opening a file from it.
#include "LibraryPane.h"
#include "WindowFixture.h"
#include "midifile/LibrarySettings.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Unsaved = UserDialogs::Unsaved;

class Library : public WindowTest {
protected:
    Library() : WindowTest(true) {}
    void SetUp() override {
        WindowTest::SetUp();
        m_dir.write("omnigrid.syx", korvoMessage(0x5D, 0x01, 300));
        Bytes cut = korvoMessage(0x38, 0x01, 300);
        cut.resize(40);
        m_dir.write("cut.syx", cut);
        m_dialogs.foldersToUse.push_back(QString::fromStdString(m_dir.path().string()));
        m_controller.chooseLibraryFolder();
        ASSERT_TRUE(runUntil([&] { return pane().listings() > 0; }));
    }
    LibraryPane& pane() { return m_controller.library(); }
    // The rows as shown, each "name | type".
    QStringList rows() {
        QStringList shown;
        const QAbstractItemModel& model = *pane().table().model();
        for (int row = 0; row < model.rowCount(); ++row) {
            shown.push_back(model.index(row, LibraryModel::kName).data().toString() + " | " +
                            model.index(row, LibraryModel::kType).data().toString());
        }
        shown.sort();
        return shown;
    }
    using Bytes = std::vector<uint8_t>;
};

TEST_F(Library, ListsFilesWithTheirTypeFollowsTheFolderAndFilters) {
    EXPECT_EQ(rows(), (QStringList{"cut.syx | cannot be read: the message at offset 0 has no end "
                                   "(0xF7) before the end of the file at offset 40",
                                   "omnigrid.syx | OMNIGRID - Presets"}));
    // The choice is the program's setting, which the command line reads too.
    EXPECT_EQ(library::folder(), m_dir.path());

    // Written by another program, into a new subfolder; then deleted.
    fs::create_directories(m_dir.path() / "2026");
    const std::string added = m_dir.write("2026/strata.syx", korvoMessage(0x38, 0x01, 30));
    EXPECT_TRUE(runUntil([&] { return rows().size() == 3; }, 20000));
    EXPECT_TRUE(rows().contains("2026/strata.syx | STRATA 500 - Presets"));
    fs::remove(added);
    EXPECT_TRUE(runUntil([&] { return rows().size() == 2; }, 20000));

    pane().filter().setText(QStringLiteral("omni"));
    EXPECT_TRUE(
        runUntil([&] { return rows() == QStringList{"omnigrid.syx | OMNIGRID - Presets"}; }));
    pane().filter().setText(QStringLiteral("CANNOT"));
    EXPECT_TRUE(runUntil([&] { return rows().size() == 1 && rows()[0].startsWith("cut.syx"); }));

    // A name that is not UTF-8 shows readably and opens by its own bytes.
    pane().filter().clear();
    m_dir.write("caf\xE9.syx", korvoMessage(0x5D, 0x01, 300));
    ASSERT_TRUE(runUntil([&] { return rows().size() == 3; }, 20000));
    QTableView& table = pane().table();
    const QModelIndexList found =
        table.model()->match(table.model()->index(0, LibraryModel::kName), Qt::DisplayRole,
                             QString::fromUtf8("caf\uFFFD.syx"));
    ASSERT_EQ(found.size(), 1);
    Q_EMIT table.activated(found.first());
    waitUntilOpened();
    EXPECT_EQ(ui().edit_dumptype->text(), "OMNIGRID - Presets");
}

TEST_F(Library, MarksOlderCopiesHidesThemOnRequestAndSaysWhenAReceiveIsHeld) {
    fs::last_write_time(m_dir.file("omnigrid.syx"),
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    m_dir.write("copy.syx", korvoMessage(0x5D, 0x01, 300));
    const auto sameAs = [&](const QString& name) {
        const QAbstractItemModel& model = *pane().table().model();
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.index(row, LibraryModel::kName).data().toString() == name) {
                return model.index(row, LibraryModel::kSameAs).data().toString();
            }
        }
        return QStringLiteral("(not shown)");
    };
    ASSERT_TRUE(runUntil([&] { return sameAs("copy.syx") == "omnigrid.syx"; }, 2000));
    EXPECT_EQ(sameAs("omnigrid.syx"), "");

    auto* hide = m_controller.window().findChild<QAction*>("action_hide_duplicates");
    ASSERT_NE(hide, nullptr);
    hide->trigger();
    EXPECT_TRUE(runUntil([&] { return sameAs("copy.syx") == "(not shown)"; }));
    hide->trigger();
    EXPECT_TRUE(runUntil([&] { return sameAs("copy.syx") == "omnigrid.syx"; }));

    // The same dump received on the instrument: the status line names the oldest file.
    m_controller.ReceiveDidPressed();
    ASSERT_TRUE(
        runUntil([&] { return ui().text_status->text() == "waiting for sysex data..."; }, 20000));
    m_midi.playBytes(kSynthOut, korvoMessage(0x5D, 0x01, 300), 256);
    EXPECT_TRUE(runUntil(
        [&] { return ui().text_status->text().startsWith("Same as omnigrid.syx from 20"); }, 8000))
        << ui().text_status->text().toStdString();
}

TEST_F(Library, ReceivesDumpAfterDumpIntoTheLibraryUntilStopOrTheInputGoes) {
    auto* many = m_controller.window().findChild<QAction*>("action_receive_many");
    ASSERT_NE(many, nullptr);
    ASSERT_TRUE(many->isEnabled());
    many->trigger();
    const auto status = [&] { return ui().text_status->text(); };
    ASSERT_TRUE(runUntil([&] { return status().startsWith("receiving into the library"); }, 20000));
    EXPECT_FALSE(many->isEnabled());
    // A new backup, one the library holds, one cut off: each said, the new one kept.
    m_midi.playBytes(kSynthOut, korvoMessage(0x38, 0x01, 300, 7), 256);
    ASSERT_TRUE(runUntil([&] { return status().contains("1 kept"); }, 5000))
        << status().toStdString();
    EXPECT_TRUE(status().contains("last: kept as STRATA 500 - Presets "));
    m_midi.playBytes(kSynthOut, korvoMessage(0x5D, 0x01, 300), 256);
    ASSERT_TRUE(runUntil([&] { return status().contains("1 already there"); }, 5000));
    EXPECT_TRUE(status().contains("last: same as omnigrid.syx: not kept again"));
    Bytes cut = korvoMessage(0x38, 0x01, 300, 8);
    cut.resize(100);
    m_midi.playBytes(kSynthOut, cut, 256);
    ASSERT_TRUE(runUntil([&] { return status().contains("1 incomplete"); }, 5000));
    EXPECT_TRUE(status().contains("incomplete: the last message was cut off; not kept"));
    // The kept file is in the pane, chosen.
    ASSERT_TRUE(runUntil(
        [&] { return pane().currentFile().contains(QStringLiteral("STRATA 500 - Presets ")); }));

    // Stop inside a dump: that dump counts as lost too (or ended cut off just before).
    m_midi.playBytes(kSynthOut, cut, 256);
    m_midi.waitUntilPlayed();
    m_controller.StopDidPressed();
    ASSERT_TRUE(runUntil([&] { return m_controller.state() == Controller::kStateEmpty; }));
    EXPECT_EQ(status(), "Receive into Library: 1 kept, 1 already there, 2 incomplete");
    EXPECT_TRUE(m_dialogs.alerts.empty());
    EXPECT_TRUE(m_controller.dump().empty());

    // The instrument going away ends a series, said.
    many->trigger();
    ASSERT_TRUE(runUntil([&] { return status().startsWith("receiving into the library"); }, 20000));
    m_midi.removeSource(kSynthOut);
    ASSERT_TRUE(runUntil([&] { return m_controller.state() == Controller::kStateEmpty; }, 5000));
    // (Beside the alert that the MIDI setup changed, which may come first.)
    EXPECT_TRUE(std::any_of(m_dialogs.alerts.begin(), m_dialogs.alerts.end(),
                            [](const auto& a) { return a.title == "Receive into Library ended"; }));
}

TEST_F(Library, SendsTheSelectedFilesInTheirOrderAskingOncePerInstruction) {
    const Bytes a = korvoMessage(0x38, 0x01, 40, 1), b = korvoMessage(0x38, 0x01, 50, 2);
    const Bytes c = korvoMessage(0x5B, 0x01, 60, 3); // Gravel 40: its own instruction, paced
    m_dir.write("a.syx", a);
    m_dir.write("b.syx", b);
    m_dir.write("c.syx", c);
    QTableView& table = pane().table();
    table.sortByColumn(LibraryModel::kName, Qt::AscendingOrder);
    const auto nameAt = [&](int row) {
        return table.model()->index(row, LibraryModel::kName).data().toString();
    };
    ASSERT_TRUE(runUntil([&] { return table.model()->rowCount() == 5 && nameAt(0) == "a.syx"; }));
    const auto choose = [&](int first, int last) {
        table.selectionModel()->select(
            QItemSelection(table.model()->index(first, 0), table.model()->index(last, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    auto* send = m_controller.window().findChild<QAction*>("action_send_files");
    ASSERT_NE(send, nullptr);

    // A file that cannot be read among them refuses the series before anything goes out.
    choose(2, 3); // c.syx, cut.syx
    ASSERT_TRUE(send->isEnabled());
    send->trigger();
    waitUntilOpened(); // read and planned off the window's thread
    ASSERT_FALSE(m_dialogs.alerts.empty());
    EXPECT_EQ(m_dialogs.alerts.back().title, "Transmission refused");
    EXPECT_TRUE(m_dialogs.alerts.back().message.startsWith("cut.syx: "));
    EXPECT_TRUE(m_midi.received(kSynthIn).empty());

    m_dialogs.alerts.clear();
    choose(0, 2);
    send->trigger();
    waitUntilOpened();
    EXPECT_EQ(m_dialogs.seriesShown,
              (QStringList{"a.syx (STRATA 500 - Presets)", "b.syx (STRATA 500 - Presets)",
                           "c.syx (Gravel 40 - Presets)"}));
    ASSERT_TRUE(runUntil([&] { return m_controller.state() != Controller::kStateBusy; }, 20000));
    // STRATA's instruction once for two files, Gravel's once; nothing else said.
    ASSERT_EQ(m_dialogs.alerts.size(), 2u);
    EXPECT_EQ(m_dialogs.alerts[0].title, "Ready?");
    EXPECT_EQ(m_dialogs.alerts[1].title, "Ready?");
    EXPECT_NE(m_dialogs.alerts[0].message, m_dialogs.alerts[1].message);
    // All Notes Off once, then the files in order, a second apart; the window's channel (1)
    // written into STRATA's.
    const auto heard = m_midi.received(kSynthIn);
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_FALSE(heard[0].sysex);
    const auto onChannel1 = [](Bytes m) {
        m[4] &= 0xF0;
        return m;
    };
    EXPECT_EQ(heard[1].bytes, onChannel1(a));
    EXPECT_EQ(heard[2].bytes, onChannel1(b));
    EXPECT_EQ(heard[3].bytes, c);
    EXPECT_GE(heard[2].at - heard[1].at, 1s);
    EXPECT_EQ(m_controller.state(), Controller::kStateEmpty);
}

TEST_F(Library, AFolderSettingThatCannotBeWrittenIsSaidAndNotFollowed) {
    // The settings file's place taken by a folder: no one can write it, root included.
    const fs::path file = library::settingsFile();
    fs::remove(file);
    fs::create_directories(file);
    const TempDir other;
    m_dialogs.foldersToUse.push_back(QString::fromStdString(other.path().string()));
    m_controller.chooseLibraryFolder();
    fs::remove(file);
    ASSERT_FALSE(m_dialogs.alerts.empty());
    EXPECT_EQ(m_dialogs.alerts.back().title, "Library folder not changed");
    EXPECT_TRUE(m_dialogs.alerts.back().message.contains(
        QString::fromStdString(library::defaultFolder().string())));
    EXPECT_EQ(pane().folder(), library::defaultFolder()); // what the command line reads now
}

TEST_F(Library, OpensARowAsOpenDoesAskingBeforeAnUnsavedDumpGoes) {
    const std::string omnigrid = m_dir.file("omnigrid.syx");
    // Enter on its row, as the keyboard does it.
    QTableView& table = pane().table();
    const QModelIndexList found = table.model()->match(table.model()->index(0, LibraryModel::kName),
                                                       Qt::DisplayRole, "omnigrid.syx");
    ASSERT_EQ(found.size(), 1);
    table.setCurrentIndex(found.first());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&table, &enter);
    waitUntilOpened();
    EXPECT_EQ(title(), "omnigrid.syx");
    EXPECT_EQ(ui().edit_dumptype->text(), "OMNIGRID - Presets");

    // A file that cannot be read is tried first: the loaded dump stays, nothing is asked.
    m_controller.openFromLibrary(m_dir.file("cut.syx"));
    waitUntilOpened();
    EXPECT_EQ(m_dialogs.alerts.back().title, "Wrong file format");
    EXPECT_EQ(title(), "omnigrid.syx");
    EXPECT_EQ(m_controller.dump().size(), 1u);

    // An unsaved change is asked about before a readable file replaces it.
    ui().edit_instrument->setText(QStringLiteral("typed"));
    Q_EMIT ui().edit_instrument->textEdited(QStringLiteral("typed"));
    m_controller.openFromLibrary(m_dir.file("cut.syx"));
    waitUntilOpened();
    EXPECT_TRUE(m_dialogs.questions.empty());
    m_dialogs.unsaved = Unsaved::cancel;
    m_controller.openFromLibrary(omnigrid);
    waitUntilOpened();
    EXPECT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_EQ(ui().edit_instrument->text(), "typed");
    EXPECT_EQ(m_controller.dump().size(), 1u);
}

TEST_F(Library, KeepsTheSelectionAsRangesOfRowsThroughAChangeInTheFolder) {
    for (uint8_t i = 0; i < 4; ++i) {
        m_dir.write(std::string(1, char('a' + i)) + ".syx", korvoMessage(0x38, 0x01, 40, i));
    }
    QTableView& table = pane().table();
    table.sortByColumn(LibraryModel::kName, Qt::AscendingOrder);
    const auto names = [&](const std::vector<std::pair<fs::path, QString>>& files) {
        QStringList list;
        for (const auto& file : files) {
            list.push_back(file.second);
        }
        return list;
    };
    ASSERT_TRUE(runUntil([&] { return rows().size() == 6; }));
    table.selectAll();
    // One file comes between them, one goes: the others stay selected, the new one is not.
    m_dir.write("c2.syx", korvoMessage(0x38, 0x01, 40, 9));
    fs::remove(m_dir.file("b.syx"));
    ASSERT_TRUE(
        runUntil([&] { return rows().size() == 6 && !rows().join(' ').contains("b.syx"); }, 20000));
    EXPECT_EQ(names(pane().selectedFiles()),
              (QStringList{"a.syx", "c.syx", "cut.syx", "d.syx", "omnigrid.syx"}));
    // Two runs of rows, two ranges: what the window does for them does not grow with the rows.
    EXPECT_EQ(table.selectionModel()->selection().size(), 2);
}

TEST_F(Library, FollowsAFolderAndTheLibraryFolderRemovedAndMadeAgain) {
    const fs::path sub = m_dir.path() / "sub";
    fs::create_directories(sub);
    m_dir.write("sub/x.syx", korvoMessage(0x38, 0x01, 40));
    ASSERT_TRUE(runUntil([&] { return rows().size() == 3; }, 20000));
    fs::remove_all(sub);
    fs::create_directories(sub);
    ASSERT_TRUE(runUntil([&] { return rows().size() == 2; }, 20000));
    m_dir.write("sub/y.syx", korvoMessage(0x38, 0x01, 40));
    EXPECT_TRUE(runUntil([&] { return rows().join(' ').contains("sub/y.syx"); }, 20000));

    fs::remove_all(m_dir.path());
    fs::create_directories(m_dir.path());
    ASSERT_TRUE(runUntil([&] { return rows().empty(); }, 20000));
    m_dir.write("z.syx", korvoMessage(0x38, 0x01, 40));
    EXPECT_TRUE(
        runUntil([&] { return rows() == QStringList{"z.syx | STRATA 500 - Presets"}; }, 20000));
}

TEST_F(Library, DoesNotReadACopyAgainWhoseSizeAndDateDidNotChange) {
    const std::string copy = m_dir.file("copy.syx");
    fs::last_write_time(m_dir.file("omnigrid.syx"),
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    m_dir.write("copy.syx", korvoMessage(0x5D, 0x01, 300));
    const auto copyIsMarked = [&] {
        const int row = pane().model().rowOf("copy.syx");
        return row >= 0 && pane().model().entry(row).sameAs == "omnigrid.syx";
    };
    ASSERT_TRUE(runUntil(copyIsMarked, 20000));
    // Other bytes put in its place under its size and date (no program does that): the look
    // that a new file brings takes the copy as confirmed, without reading it.
    const std::string other = m_dir.write("copy.tmp", korvoMessage(0x5D, 0x01, 300, 0x23));
    fs::last_write_time(other, fs::last_write_time(copy));
    fs::rename(other, copy);
    m_dir.write("new.syx", korvoMessage(0x38, 0x01, 40));
    ASSERT_TRUE(runUntil([&] { return pane().model().rowOf("new.syx") >= 0; }, 20000));
    EXPECT_TRUE(copyIsMarked());
}

} // namespace
