// The library pane beside the event table: what it lists, how it follows the folder, and
// opening a file from it.
#include "LibraryPane.h"
#include "WindowFixture.h"
#include "midifile/LibrarySettings.h"

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
    EXPECT_TRUE(runUntil([&] { return rows().size() == 3; }, 1000));
    EXPECT_TRUE(rows().contains("2026/strata.syx | STRATA 500 - Presets"));
    fs::remove(added);
    EXPECT_TRUE(runUntil([&] { return rows().size() == 2; }, 1000));

    pane().filter().setText(QStringLiteral("omni"));
    EXPECT_EQ(rows(), QStringList{"omnigrid.syx | OMNIGRID - Presets"});
    pane().filter().setText(QStringLiteral("CANNOT"));
    EXPECT_EQ(rows().size(), 1);
}

TEST_F(Library, OpensARowAsOpenDoesAskingBeforeAnUnsavedDumpGoes) {
    const QString omnigrid = QString::fromStdString(m_dir.file("omnigrid.syx"));
    // Enter on its row, as the keyboard does it.
    QTableView& table = pane().table();
    const QModelIndexList found = table.model()->match(table.model()->index(0, LibraryModel::kName),
                                                       Qt::DisplayRole, "omnigrid.syx");
    ASSERT_EQ(found.size(), 1);
    table.setCurrentIndex(found.first());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&table, &enter);
    EXPECT_EQ(title(), "omnigrid.syx");
    EXPECT_EQ(ui().edit_dumptype->text(), "OMNIGRID - Presets");

    // A dump that came from a file goes without a question; a broken file keeps it.
    m_controller.openFromLibrary(QString::fromStdString(m_dir.file("cut.syx")));
    EXPECT_EQ(m_dialogs.alerts.back().title, "Wrong file format");
    EXPECT_TRUE(m_controller.dump().empty()); // cleared first, as the user asked

    m_controller.openFromLibrary(omnigrid);
    ui().edit_instrument->setText(QStringLiteral("typed"));
    Q_EMIT ui().edit_instrument->textEdited(QStringLiteral("typed"));
    m_dialogs.unsaved = Unsaved::cancel;
    m_controller.openFromLibrary(QString::fromStdString(m_dir.file("cut.syx")));
    EXPECT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_EQ(ui().edit_instrument->text(), "typed");
    EXPECT_EQ(m_controller.dump().size(), 1u);
}

} // namespace
