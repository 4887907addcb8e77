// The window's state: what is enabled when, Clear, the event table and the progress timer.
#include "WindowFixture.h"
#include "midiinterface/virtual/VirtualMidiService.h"

#include <QAbstractItemModel>
#include <QAction>

namespace {

// A file with the given messages, written as Save would write it.
QString dumpFile(const TempDir& dir, const Dump& dump, const std::string& name = "d.mid") {
    const std::string path = dir.file(name);
    EXPECT_TRUE(dumpfile::writeDumpFile(path, dump, "", "", {}).ok());
    return QString::fromStdString(path);
}

struct Enabled {
    bool open, save, clear, receive, transmit, input, output, channel;
    bool operator==(const Enabled&) const = default;
};

class ControllerState : public WindowTest {
protected:
    Enabled enabled() {
        return {ui().button_open->isEnabled(),     ui().button_save->isEnabled(),
                ui().button_clear->isEnabled(),    ui().button_receive->isEnabled(),
                ui().button_transmit->isEnabled(), ui().popup_input->isEnabled(),
                ui().popup_output->isEnabled(),    ui().popup_channel->isEnabled()};
    }
    std::map<int, bool> menuTags() {
        std::map<int, bool> tags;
        for (QAction* action : m_controller.window().findChildren<QAction*>()) {
            if (action->property("tag").isValid()) {
                tags[action->property("tag").toInt()] = action->isEnabled();
            }
        }
        return tags;
    }
    QVariant cell(int row, int column) {
        QAbstractItemModel* model = ui().tableview_events->model();
        return model->data(model->index(row, column), Qt::DisplayRole);
    }
};

TEST(ControllerStart, BusyUntilTheWindowIsAwake) {
    VirtualMidiService midi;
    FakeDialogs dialogs;
    Controller controller(midi, dialogs);
    EXPECT_EQ(controller.state(), Controller::kStateBusy);
    EXPECT_FALSE(controller.applicationShouldTerminate());
    EXPECT_EQ(controller.timerStatus(), Controller::kTimerStopped);
    controller.awakeFromNib();
    EXPECT_EQ(controller.state(), Controller::kStateEmpty);
}

TEST_F(ControllerState, AfterAwakeFromNib) {
    EXPECT_EQ(ui().edit_trackname->text(), "");
    EXPECT_EQ(ui().edit_instrument->text(), "");
    EXPECT_EQ(ui().text_status->text(), "");
    EXPECT_EQ(ui().edit_dumptype->text(), "");
    EXPECT_EQ(ui().text_version->text(), "Version " BANKSHUTTLE_VERSION);
    EXPECT_FALSE(ui().progress_duration->isVisibleTo(&m_controller.window()));
    EXPECT_EQ(ui().popup_channel->currentIndex(), 0);
    EXPECT_EQ(ui().popup_channel->count(), 16);
    EXPECT_EQ(ui().popup_channel->itemText(0), "1");
    EXPECT_EQ(ui().popup_channel->itemText(15), "16");
    EXPECT_EQ(title(), "empty.mid");
    EXPECT_EQ(enabled(), (Enabled{true, false, false, false, false, true, false, false}));
    EXPECT_EQ(
        menuTags(),
        (std::map<int, bool>{
            {1, true}, {2, false}, {3, false}, {4, false}, {5, false}, {6, true}, {7, false}}));
    EXPECT_TRUE(m_controller.validateMenuItem(0));
    EXPECT_TRUE(m_controller.validateMenuItem(8));
    EXPECT_TRUE(m_controller.applicationShouldTerminate());
}

TEST_F(ControllerState, EnablingFollowsStateAndChannel) {
    // A type without a channel: the channel pop-up stays off in every state.
    openFile(dumpFile(m_dir, {korvoEvent(0x5C, 0x01, 10)}));
    EXPECT_EQ(m_controller.state(), Controller::kStateLoaded);
    EXPECT_EQ(enabled(), (Enabled{false, true, true, false, false, false, true, false}));
    EXPECT_EQ(
        menuTags(),
        (std::map<int, bool>{
            {1, false}, {2, true}, {3, true}, {4, false}, {5, false}, {6, true}, {7, false}}));
    m_controller.switchToState(Controller::kStateBusy);
    EXPECT_EQ(enabled(), (Enabled{false, false, false, false, false, false, false, false}));
    EXPECT_EQ(
        menuTags(),
        (std::map<int, bool>{
            {1, false}, {2, false}, {3, false}, {4, false}, {5, false}, {6, false}, {7, false}}));
    EXPECT_FALSE(m_controller.window().close()); // refused while busy

    m_controller.switchToState(Controller::kStateLoaded);
    m_controller.ClearDidPresses();
    // A type with a channel: the pop-up is on even while busy.
    openFile(dumpFile(m_dir, {korvoEvent(0x38, 0x01, 10)}, "strata.mid"));
    EXPECT_TRUE(ui().popup_channel->isEnabled());
    m_controller.switchToState(Controller::kStateBusy);
    EXPECT_TRUE(ui().popup_channel->isEnabled());
}

TEST_F(ControllerState, ClearEmptiesEverything) {
    const std::string path = m_dir.file("kept.mid");
    ASSERT_TRUE(dumpfile::writeDumpFile(path, {korvoEvent(0x38, 0x01, 10)}, "Name", "Synth",
                                        buffer{0x31, 0x05})
                    .ok());
    openFile(QString::fromStdString(path));
    ASSERT_EQ(m_controller.state(), Controller::kStateLoaded);
    EXPECT_EQ(m_controller.meta7f(), (buffer{0x31, 0x05}));
    EXPECT_EQ(ui().edit_dumptype->text(), "STRATA 500 - Presets");

    m_controller.ClearDidPresses();
    EXPECT_EQ(m_controller.state(), Controller::kStateEmpty);
    EXPECT_TRUE(m_controller.dump().empty());
    EXPECT_TRUE(m_controller.meta7f().empty());
    EXPECT_EQ(ui().tableview_events->model()->rowCount(), 0);
    EXPECT_EQ(ui().edit_dumptype->text(), "");
    EXPECT_EQ(ui().edit_trackname->text(), "");
    EXPECT_EQ(ui().edit_instrument->text(), "");
    EXPECT_EQ(title(), "empty.mid");
}

TEST_F(ControllerState, EventTableCells) {
    openFile(dumpFile(m_dir, {midi::event{0xF0, 0x31, 0xF7}, korvoEvent(0x38, 0x12, 200)}));
    QAbstractItemModel* model = ui().tableview_events->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "No");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Header");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(cell(0, 0).toInt(), 0);
    EXPECT_EQ(cell(1, 0).toInt(), 1);
    EXPECT_EQ(cell(0, 1).toString(), "f0 31 f7");
    EXPECT_EQ(cell(1, 1).toString(), "f0 31 00 38 12");
    EXPECT_EQ(cell(0, 2).toULongLong(), 3u);
    EXPECT_EQ(cell(1, 2).toULongLong(), 200u);
    EXPECT_FALSE(cell(2, 1).isValid());
    EXPECT_EQ(m_controller.type().eventLength(7), 0u);
    EXPECT_EQ(m_controller.type().eventLength(5), 0u);
    const QFont font = model->data(model->index(0, 1), Qt::FontRole).value<QFont>();
    EXPECT_EQ(font.styleHint(), QFont::Monospace);
}

TEST_F(ControllerState, ProgressTimerModes) {
    Controller& c = m_controller;
    c.startProgressTimer();
    EXPECT_EQ(c.timerStatus(), Controller::kTimerWaiting);
    spin(300); // ticks come, the bar stands
    EXPECT_EQ(c.progressValue(), 0.0);

    c.setTimerStatus(Controller::kTimerCounting);
    ASSERT_TRUE(runUntil([&] { return c.progressValue() >= 3.0; }));
    const double counted = c.progressValue();
    EXPECT_EQ(counted, std::floor(counted)); // exactly 1.0 a tick

    c.setTimerStatus(Controller::kTimerStopped);
    spin(100); // a tick already scheduled still finds the mode and ends the chain
    const double stoppedAt = c.progressValue();
    c.setTimerStatus(Controller::kTimerCounting);
    spin(200);
    EXPECT_EQ(c.progressValue(), stoppedAt); // nobody ticks any more
    c.progressTimer();
    EXPECT_EQ(c.progressValue(), stoppedAt + 1.0);
    c.setTimerStatus(Controller::kTimerStopped);
    spin(100);
}

} // namespace
