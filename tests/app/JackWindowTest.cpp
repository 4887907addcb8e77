// The window's code end to end over a real JACK server: an instrument sends a dump, the window
// receives it, saves it, clears, opens the file and transmits it back.
#include "WindowFixture.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/Attempts.h"
#include "support/JackInstrument.h"

#include <unistd.h>

#include <cstdlib>
#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(WindowOverJack, ReceiveSaveOpenTransmitRoundTrip) {
    auto midi = JackMidiService::open("BankShuttle").valueOr(nullptr);
    auto instrument = JackInstrument::open("strata" + std::to_string(getpid()));
    ASSERT_TRUE(midi && instrument) << "the JACK test server is not running";
    FakeDialogs dialogs;
    Controller controller(*midi, dialogs);
    controller.awakeFromNib();
    Ui::MainWindow& ui = controller.ui();
    const QString out = QString::fromStdString(instrument->name() + ": out");
    const QString in = QString::fromStdString(instrument->name() + ": in");
    ui.popup_input->setCurrentIndex(ui.popup_input->findText(out));
    ASSERT_EQ(ui.popup_input->currentText(), out);

    // A STRATA 500 preset dump: it carries the channel in byte 4 (here channel 3).
    std::mt19937 random(17);
    std::vector<Bytes> dump;
    for (int i = 0; i < 50; ++i) {
        Bytes m(20 + random() % 600);
        for (uint8_t& b : m) {
            b = static_cast<uint8_t>(random() % 0x80);
        }
        m[0] = 0xF0;
        m[1] = 0x31;
        m[3] = 0x38;
        m[4] = 0x02;
        m.back() = 0xF7;
        dump.push_back(m);
    }
    // Other programs on the server may come and go (the last test's program, killed, leaves
    // when its process has gone): the window rightly says the setup changed. Those alerts are
    // not this transfer's ending.
    const auto transferAlerts = [&] {
        std::erase_if(dialogs.alerts, [](const FakeDialogs::Alert& alert) {
            return alert.title == "MIDI Environment did change!";
        });
        return dialogs.alerts.size();
    };
    // An alert that names our own client's missed cycles is taken away: the attempt is repeated.
    const auto ownCyclesMissed = [&](const QString& title) {
        if (transferAlerts() == 0 || dialogs.alerts.back().title != title ||
            !dialogs.alerts.back().message.contains("JACK missed processing cycles")) {
            return false;
        }
        dialogs.alerts.pop_back();
        return true;
    };
    const AttemptRules rules{[&] { return midi->missedCycles(); },
                             [&] { instrument->waitUntilQuiet(); }};
    requireExactInOneOfThree(rules, [&] {
        controller.ReceiveDidPressed();
        EXPECT_TRUE(
            runUntil([&] { return ui.text_status->text() == "waiting for sysex data..."; }));
        instrument->play(dump);
        EXPECT_TRUE(runUntil(
            [&] { return controller.state() == Controller::kStateLoaded || transferAlerts() > 0; },
            15000));
        return ownCyclesMissed("Receive incomplete") ? Attempt::ownCyclesMissed : Attempt::exact;
    });
    ASSERT_EQ(controller.dump().size(), dump.size())
        << (dialogs.alerts.empty()
                ? std::string("no alert")
                : (dialogs.alerts.back().title + ": " + dialogs.alerts.back().message)
                      .toStdString());
    EXPECT_EQ(ui.edit_dumptype->text(), "STRATA 500 - Presets");

    TempDir dir;
    const QString path = QString::fromStdString(dir.file("strata.mid"));
    dialogs.filesToWrite.push_back(path);
    controller.SaveDidPressed();
    ASSERT_TRUE(runUntil([&] { return dialogs.filesToWrite.empty(); }));
    controller.ClearDidPresses();
    ASSERT_TRUE(controller.dump().empty());
    dialogs.filesToRead.push_back(path);
    controller.OpenDidPressed();
    ASSERT_TRUE(runUntil([&] { return dialogs.filesToRead.empty() && !controller.opening(); }));
    ASSERT_EQ(controller.dump().size(), dump.size());

    ui.popup_output->setCurrentIndex(ui.popup_output->findText(in));
    ui.popup_channel->setCurrentIndex(2);
    std::size_t before = 0;
    requireExactInOneOfThree(rules, [&] {
        before = instrument->received().size();
        dialogs.alerts.clear();
        controller.TransmitDidPressed();
        EXPECT_TRUE(runUntil([&] { return controller.state() == Controller::kStateBusy; }));
        EXPECT_TRUE(
            runUntil([&] { return controller.state() == Controller::kStateLoaded; }, 60000));
        return ownCyclesMissed("Transmission incomplete") ? Attempt::ownCyclesMissed
                                                          : Attempt::exact;
    });
    EXPECT_TRUE(transferAlerts() == 1 && dialogs.alerts[0].title == "Ready?");

    auto got = instrument->waitForReceived(before + 17 + dump.size());
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(before));
    ASSERT_EQ(got.size(), 17 + dump.size());
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(got[i].bytes, (Bytes{uint8_t(0xB0 | (i % 16)), 0x7B, 0x00}));
    }
    for (std::size_t i = 0; i < dump.size(); ++i) {
        ASSERT_EQ(got[17 + i].bytes, dump[i]) << "message " << i;
    }

    // A message JACK cannot carry refuses the dump before any of it goes out.
    Bytes large = dump[0];
    large.insert(large.begin() + 5, 40000 - large.size(), 0x11);
    dialogs.filesToRead.push_back(QString::fromStdString(dir.write("large.syx", large)));
    controller.OpenDidPressed();
    ASSERT_TRUE(runUntil([&] { return dialogs.filesToRead.empty() && !controller.opening(); }));
    controller.TransmitDidPressed();
    ASSERT_TRUE(runUntil([&] { return transferAlerts() == 2; }, 5000));
    EXPECT_EQ(dialogs.alerts[1].title, "Transmission refused");
    EXPECT_TRUE(dialogs.alerts[1].message.startsWith("Message 1 is 40,000 bytes; JACK carries"))
        << dialogs.alerts[1].message.toStdString();
    EXPECT_EQ(controller.state(), Controller::kStateLoaded);
    instrument->waitUntilQuiet();
    EXPECT_EQ(instrument->received().size(), before + got.size()); // not even All Notes Off
}

} // namespace
