// The window's series when answers and Stops come in an awkward order: a library answer that
// reaches the one that asked, and a Stop between two files of Send Selected Files.
#include "LibraryPane.h"
#include "WindowFixture.h"

#include <QItemSelectionModel>
#include <QTableView>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class SeriesOrder : public WindowTest {
protected:
    SeriesOrder() : WindowTest(true) {}
    void SetUp() override {
        WindowTest::SetUp();
        m_dir.write("omnigrid.syx", korvoMessage(0x5D, 0x01, 300));
        m_dialogs.foldersToUse.push_back(QString::fromStdString(m_dir.path().string()));
        m_controller.chooseLibraryFolder();
        ASSERT_TRUE(runUntil([&] { return pane().listings() > 0; }));
        m_dialogs.unsaved = UserDialogs::Unsaved::discard;
    }
    LibraryPane& pane() { return m_controller.library(); }
    QString status() { return ui().text_status->text(); }
    // A single Receive of `bytes`, which the library is then asked about.
    void receiveOne(const Bytes& bytes) {
        m_controller.ReceiveDidPressed();
        ASSERT_TRUE(runUntil([&] { return status() == "waiting for sysex data..."; }, 20000));
        m_midi.playBytes(kSynthOut, bytes, 256);
        ASSERT_TRUE(runUntil([&] { return m_controller.state() == Controller::kStateLoaded; }));
    }
};

TEST_F(SeriesOrder, ALibraryAnswerReachesOnlyTheOneThatAsked) {
    const Bytes held = korvoMessage(0x5D, 0x01, 300);
    const Bytes fresh = korvoMessage(0x38, 0x01, 300, 7);
    int answers = 0;
    QObject::connect(&pane().reader(), &LibraryReader::held, [&answers] { ++answers; });
    // The reader in a long look: a received dump's question waits, and the dump is discarded.
    pane().reader().holdRequests(true);
    receiveOne(held);
    m_controller.ClearDidPresses();
    // Another dump loaded meanwhile, which no file holds: the earlier answer is not its own.
    receiveOne(fresh);
    ASSERT_TRUE(runUntil([&] { return pane().reader().questionsWaiting() == 2; }));
    pane().reader().holdRequests(false);
    ASSERT_TRUE(runUntil([&] { return answers == 2; }));
    EXPECT_FALSE(status().startsWith("Same as")) << status().toStdString();

    // Receive into Library while the last single Receive's question is still open: the
    // series' first dump gets its own answer, and is kept.
    pane().reader().holdRequests(true);
    m_controller.ClearDidPresses();
    receiveOne(held);
    m_controller.ClearDidPresses();
    m_controller.ReceiveManyDidPressed();
    ASSERT_TRUE(runUntil([&] { return status().startsWith("receiving into the library"); }, 20000));
    m_midi.playBytes(kSynthOut, fresh, 256);
    ASSERT_TRUE(runUntil([&] { return pane().reader().questionsWaiting() == 2; }));
    pane().reader().holdRequests(false);
    ASSERT_TRUE(runUntil([&] { return status().contains("last: "); })) << status().toStdString();
    m_controller.StopDidPressed();
    ASSERT_TRUE(runUntil([&] { return m_controller.state() == Controller::kStateEmpty; }));
    EXPECT_EQ(status(), "Receive into Library: 1 kept, 0 already there, 0 incomplete");
    int strata = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.path())) {
        strata += entry.path().filename().string().starts_with("STRATA 500 - Presets ") ? 1 : 0;
    }
    EXPECT_EQ(strata, 1);
}

TEST_F(SeriesOrder, AStopBetweenTwoFilesEndsTheSeries) {
    m_dir.write("a.syx", korvoMessage(0x38, 0x01, 40, 1));
    m_dir.write("c.syx", korvoMessage(0x5B, 0x01, 60, 3)); // another instruction: asked anew
    QTableView& table = pane().table();
    table.sortByColumn(LibraryModel::kName, Qt::AscendingOrder);
    ASSERT_TRUE(runUntil([&] { return table.model()->rowCount() == 3; }));
    table.selectionModel()->select(
        QItemSelection(table.model()->index(0, 0), table.model()->index(1, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // Stop handled after the first file's end, before the second one's start.
    int readies = 0;
    m_dialogs.onAlert = [&](const FakeDialogs::Alert& alert) {
        if (alert.title == "Ready?" && ++readies == 2) {
            m_controller.StopDidPressed();
        }
    };
    m_controller.SendFilesDidPressed();
    waitUntilOpened();
    ASSERT_TRUE(runUntil([&] { return m_controller.state() != Controller::kStateBusy; }, 10000));
    ASSERT_EQ(m_dialogs.alerts.size(), 3u);
    EXPECT_EQ(m_dialogs.alerts[2].title, "Transmission stopped");
    EXPECT_TRUE(m_dialogs.alerts[2].message.startsWith("Sent whole: a.syx. c.syx: 0 of 1"))
        << m_dialogs.alerts[2].message.toStdString();
    EXPECT_TRUE(m_controller.applicationShouldTerminate());
    EXPECT_EQ(m_midi.received(kSynthIn).size(), 2u); // All Notes Off and a.syx
}

} // namespace
