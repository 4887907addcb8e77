// The message inspector, opened from the event table.
#include "MessageInspector.h"
#include "WindowFixture.h"
#include "core/HexDump.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>

namespace {

using Bytes = std::vector<uint8_t>;

class Inspector : public WindowTest {};

QStringList labels(QWidget& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

TEST_F(Inspector, EnterOpensOneWindowPerMessageAndClearClosesThem) {
    Bytes all = korvoMessage(0x38, 0x01, 40, 0x41);
    const Bytes second = korvoMessage(0x38, 0x23, 300);
    all.insert(all.end(), second.begin(), second.end());
    openFile(QString::fromStdString(m_dir.write("strata.syx", all)));

    QTableView& table = *ui().tableview_events;
    table.setCurrentIndex(table.model()->index(1, 0));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&table, &enter);
    ASSERT_EQ(m_controller.inspectors().openOnes().size(), 1);
    MessageInspector& inspector = *m_controller.inspectors().openOnes().front();
    EXPECT_EQ(inspector.windowTitle(), "Message 1");
    EXPECT_FALSE(inspector.isModal());
    const QStringList shown = labels(inspector);
    for (const char* text : {"0x31 KoRvO", "0x38 STRATA 500", "0x23", "STRATA 500 - Presets", "4",
                             "300 bytes", "0 s"}) {
        EXPECT_TRUE(shown.contains(text)) << text << "\n" << shown.join("|").toStdString();
    }
    EXPECT_EQ(inspector.lines().model()->rowCount(), 19);
    EXPECT_EQ(inspector.hexDump().toStdString(), hexdump::lines(second));
    inspector.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), inspector.hexDump());

    // A double-click on the first row opens the second window. The main window stays shown
    // when the controller goes, as it may at the end of the program.
    m_controller.window().show();
    const QPoint cell = table.visualRect(table.model()->index(0, 1)).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, cell, table.viewport()->mapToGlobal(cell), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &click);
    }
    ASSERT_EQ(m_controller.inspectors().openOnes().size(), 2);
    EXPECT_EQ(m_controller.inspectors().openOnes().back()->windowTitle(), "Message 0");
    EXPECT_EQ(m_controller.inspectors().open(2), nullptr); // no such message
    EXPECT_EQ(m_controller.inspectors().openOnes().size(), 2);
    m_controller.ClearDidPresses();
    EXPECT_TRUE(m_controller.inspectors().openOnes().isEmpty());
}

} // namespace
