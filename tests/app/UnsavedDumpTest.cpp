// The window never drops a dump that was never saved without asking, and assistive technology
// finds a name for every control.
#include "WindowFixture.h"

#include <QAccessible>
#include <QAction>
#include <QKeyEvent>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Unsaved = UserDialogs::Unsaved;

const QString kBeforeClearing = QStringLiteral("Save the received dump before clearing it?");
const QString kBeforeQuitting = QStringLiteral("Save the received dump before quitting?");

class UnsavedDump : public WindowTest {
protected:
    UnsavedDump() : WindowTest(true) {}

    void receive() {
        m_controller.ReceiveDidPressed();
        // Once the input is connected, however long that takes on a busy machine.
        ASSERT_TRUE(runUntil(
            [&] { return ui().text_status->text() == "waiting for sysex data..."; }, 20000));
        m_midi.playBytes(kSynthOut, korvoMessage(0x5D, 0x01, 300), 256);
        ASSERT_TRUE(runUntil([&] { return m_controller.state() != Controller::kStateEmpty; }));
        ASSERT_TRUE(
            runUntil([&] { return m_controller.state() == Controller::kStateLoaded; }, 20000));
    }
    // Typed as a user types, key by key.
    static void type(QWidget* field, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(field, &press);
        }
    }
    bool loaded() { return m_controller.dump().size() == 1 && table()->rowCount() == 1; }
    QAbstractItemModel* table() { return ui().tableview_events->model(); }
};

TEST_F(UnsavedDump, ClearAsksAfterAReceiveAndDoesWhatTheAnswerSays) {
    receive();
    EXPECT_EQ(title(), "untitled.mid*");

    m_dialogs.unsaved = Unsaved::cancel;
    m_controller.ClearDidPresses();
    EXPECT_EQ(m_dialogs.questions, std::vector<QString>{kBeforeClearing});
    EXPECT_TRUE(loaded());
    EXPECT_EQ(title(), "untitled.mid*");

    // Save whose panel is cancelled writes nothing, so nothing goes.
    m_dialogs.unsaved = Unsaved::save;
    m_dialogs.filesToWrite.push_back(QString());
    m_controller.ClearDidPresses();
    EXPECT_TRUE(loaded());

    const QString path = QString::fromStdString(m_dir.file("kept.mid"));
    m_dialogs.filesToWrite.push_back(path);
    m_controller.ClearDidPresses();
    EXPECT_TRUE(m_controller.dump().empty());
    EXPECT_EQ(title(), "empty.mid");
    const auto written = dumpfile::readDumpFile(path.toStdString());
    ASSERT_TRUE(written);
    EXPECT_EQ(Bytes(written->dump[0].begin(), written->dump[0].end()),
              korvoMessage(0x5D, 0x01, 300));

    receive();
    m_dialogs.unsaved = Unsaved::discard;
    m_controller.ClearDidPresses();
    EXPECT_TRUE(m_controller.dump().empty());
    EXPECT_EQ(m_dialogs.questions.size(), 4u);
    EXPECT_EQ(table()->rowCount(), 0);
}

TEST_F(UnsavedDump, ClosingAndQuitAskAfterAReceive) {
    m_controller.window().show();
    receive();
    m_dialogs.unsaved = Unsaved::cancel;
    EXPECT_FALSE(m_controller.window().close());
    ui().action_quit->trigger();
    EXPECT_TRUE(m_controller.window().isVisible());
    EXPECT_EQ(m_dialogs.questions, (std::vector<QString>{kBeforeQuitting, kBeforeQuitting}));
    EXPECT_TRUE(loaded());

    m_dialogs.unsaved = Unsaved::discard;
    EXPECT_TRUE(m_controller.window().close());
}

TEST_F(UnsavedDump, AnEditAsksOpenAndSaveDoNot) {
    const QString path =
        QString::fromStdString(m_dir.write("preset.syx", korvoMessage(0x38, 0x01, 30)));
    openFile(path);
    EXPECT_EQ(title(), "preset.syx");
    m_controller.ClearDidPresses(); // opened and untouched: nothing to ask
    EXPECT_TRUE(m_controller.dump().empty());

    openFile(path);
    type(ui().edit_instrument, QStringLiteral("Studio"));
    EXPECT_EQ(title(), "preset.syx*");
    saveFile(QString::fromStdString(m_dir.file("edited.mid")));
    EXPECT_EQ(title(), "edited.mid");
    type(ui().edit_trackname, QStringLiteral("x"));
    m_dialogs.unsaved = Unsaved::cancel;
    EXPECT_FALSE(m_controller.window().close());
    m_dialogs.unsaved = Unsaved::discard;
    m_controller.ClearDidPresses();
    EXPECT_TRUE(m_controller.dump().empty());
    EXPECT_EQ(m_dialogs.questions, (std::vector<QString>{kBeforeQuitting, kBeforeClearing}));
}

// What a screen reader finds: every field, menu, table and bar has a name or a label.
TEST_F(UnsavedDump, EveryControlHasANameOrALabel) {
    m_controller.window().show();
    int checked = 0;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        const QAccessible::Role role = node->role();
        if (role == QAccessible::EditableText || role == QAccessible::ComboBox ||
            role == QAccessible::Table || role == QAccessible::ProgressBar ||
            role == QAccessible::StaticText || role == QAccessible::List) {
            ++checked;
            EXPECT_TRUE(!node->text(QAccessible::Name).isEmpty() ||
                        !node->relations(QAccessible::Label).isEmpty())
                << "role " << role << " of " << node->object()->objectName().toStdString();
        }
        if (role == QAccessible::Table || role == QAccessible::List ||
            role == QAccessible::ComboBox) {
            return; // its rows are its content
        }
        for (int i = 0; i < node->childCount(); ++i) {
            walk(node->child(i));
        }
    };
    walk(QAccessible::queryAccessibleInterface(&m_controller.window()));
    // Dump type, track name, instrument, four menus, the table, bar, status, count, version.
    EXPECT_GE(checked, 12);
    const auto labelOf = [](QWidget* field) {
        const auto labels =
            QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    };
    EXPECT_EQ(labelOf(ui().edit_trackname), "Track name:");
    EXPECT_EQ(labelOf(ui().popup_input), "MIDI input:");
    // On Linux Qt names a menu by what it shows now; the label is its relation (Orca reads
    // "MIDI input: combo box, ...").
    EXPECT_EQ(labelOf(ui().popup_pause), "Pause between messages:");
    EXPECT_EQ(labelOf(ui().popup_speed), "Sending speed:");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(ui().text_status)->text(QAccessible::Name),
              "Status");
}

} // namespace
