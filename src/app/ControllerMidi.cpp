// The controller's MIDI side: the port menus, the MIDI system's notifications, and the
// Receive and Transmit flows, which run as sessions (src/transfer) and post their steps back.
#include "Controller.h"
#include "LibraryPane.h"

#include <QDateTime>

#include "ProgressBar.h"
#include "midifile/BackupName.h"
#include "midifile/DumpFile.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "ui_MainWindow.h"

#include <QComboBox>
#include <QDateTime>

namespace {

// What "Pause between messages" offers, in milliseconds; 0 keeps the pauses the model needs.
struct PauseChoice {
    const char* label;
    int milliseconds;
};
constexpr PauseChoice kPauseChoices[] = {{"as the model needs", 0}, {"20 ms", 20},   {"50 ms", 50},
                                         {"100 ms", 100},           {"300 ms", 300}, {"1 s", 1000}};

// What "Sending speed" offers, in bytes per second; full is the cable's rate.
struct SpeedChoice {
    const char* label;
    uint32_t bytesPerSecond;
};
constexpr SpeedChoice kSpeedChoices[] = {{"full", midi::kFullSpeed}, {"1,000 bytes/s", 1000},
                                         {"500 bytes/s", 500},       {"250 bytes/s", 250},
                                         {"100 bytes/s", 100},       {"50 bytes/s", 50}};

} // namespace

void Controller::fillSendingMenus() {
    for (const PauseChoice& choice : kPauseChoices) {
        m_ui->popup_pause->addItem(QString::fromLatin1(choice.label), choice.milliseconds);
    }
    // Full at every start: a slower speed is a remedy for one interface, not a habit.
    for (const SpeedChoice& choice : kSpeedChoices) {
        m_ui->popup_speed->addItem(QString::fromLatin1(choice.label), choice.bytesPerSecond);
    }
}

// ---- MIDI ports --------------------------------------------------------------------------

void Controller::MidiNotifyProc(const MidiNotification& notification, void* refCon) {
    if (notification.messageID != kMIDIMsgSetupChanged) {
        return;
    }
    auto* self = static_cast<Controller*>(refCon);
    // The window is touched on its own thread only; the alert waits for the changes to settle.
    QMetaObject::invokeMethod(
        self, [self] { self->m_setupChange.start(); }, Qt::QueuedConnection);
}

void Controller::fillPortMenu(QComboBox* popup, uint16_t count, const QString& none, bool sources) {
    popup->clear();
    for (uint16_t i = 0; i < count; ++i) {
        const std::string name = sources ? TQMidiInterfaceReceiver::SourceNameAt(m_midi, i)
                                         : TQMidiInterfaceTransmitter::DestinationNameAt(m_midi, i);
        popup->addItem(QString::fromStdString(name));
    }
    if (count == 0) {
        popup->addItem(none);
    }
    popup->setCurrentIndex(0);
}

void Controller::rescanMidi() {
    m_sources = TQMidiInterfaceReceiver::SourceNumber(m_midi);
    fillPortMenu(m_ui->popup_input, m_sources, QStringLiteral("no input ports detected"), true);
    m_destinations = TQMidiInterfaceTransmitter::DestinationNumber(m_midi);
    fillPortMenu(m_ui->popup_output, m_destinations, QStringLiteral("no output ports detected"),
                 false);
    updateControls();
}

// ---- Receive and Transmit ----------------------------------------------------------------

void Controller::ReceiveDidPressed() {
    startProgressTimer();
    later(&Controller::receive);
}

void Controller::TransmitDidPressed() {
    startProgressTimer();
    later(&Controller::transmit);
}

void Controller::receive() {
    // The dump is recorded by the session into a list of its own, handed over in the finish
    // step: the table may repaint at any time and must never see it growing.
    m_dump->clear();
    reidentify();
    switchToState(kStateBusy);
    m_progress->show(kReceiveWaitTicks);
    // The endpoint the menu shows, or none if it has gone since.
    m_receiveSession = std::make_unique<ReceiveSession>(
        m_midi, m_ui->popup_input->currentText().toStdString(), kReceiveWait);
    m_receivedCounter.start();
    updateControls();
    ReceiveSession::Events events;
    events.waiting = [this] { post([this] { receiveWaiting(); }); };
    events.began = [this](bool began) { post([this, began] { receiveBegan(began); }); };
    events.finished = [this](ReceiveSession::Result result) {
        const TransferReport report = receiveReport(result, kReceiveWait);
        auto kept = std::make_shared<Dump>(std::move(result.dump));
        post([this, kept, report] { receiveFinished(std::move(*kept), report); });
    };
    m_receiveSession->start(std::move(events));
}

void Controller::receiveWaiting() {
    setStatus(QStringLiteral("waiting for sysex data..."));
    m_timerstatus = kTimerCounting;
}

void Controller::receiveBegan(bool began) {
    if (began) {
        setStatus(QStringLiteral("recording..."));
        m_progress->setIndeterminate(true);
    }
    m_timerstatus = kTimerStopped;
}

void Controller::receiveFinished(Dump recorded, const TransferReport& report) {
    m_receiveSession.reset(); // its thread has just posted this step and ends
    m_receivedCounter.stop();
    showText(*m_ui->text_received, QStringLiteral("Received so far"), QString());
    m_currentPath.clear();
    m_progress->setIndeterminate(false);
    // A recording that may have lost a byte is never kept (the session hands over none).
    *m_dump = std::move(recorded);
    reidentify();
    if (!m_dump->empty()) {
        m_ui->edit_trackname->setText(QString(dumpfile::kTracknamePlaceholder.data()));
        m_ui->edit_instrument->setText(QString(dumpfile::kInstrumentPlaceholder.data()));
        m_window->setWindowTitle(QStringLiteral("untitled.mid[*]"));
        m_receivedOn = backupname::today();
    }
    setStatus(QString());
    m_progress->hide();
    switchToState(m_dump->empty() ? kStateEmpty : kStateLoaded);
    setUnsaved(!m_dump->empty()); // what the instrument sent is nowhere else yet
    show(report);
    if (!m_dump->empty()) {
        // Whether the library holds this backup already: asked off this thread, said when known.
        m_askedForHolder = m_library->reader().findHolder(*m_dump);
    }
}

void Controller::holderFound(quint64 question, const QString& path, qint64 modified) {
    if (m_many && m_many->handling && question == m_many->asked) {
        m_many->asked = 0;
        manyHolderFound(path);
        return;
    }
    // Only for the dump that was asked about, still loaded as received; any other answer is
    // for an asker that is gone.
    if (question != m_askedForHolder || m_state != kStateLoaded || path.isEmpty()) {
        return;
    }
    setStatus(QStringLiteral("Same as %1 from %2")
                  .arg(path, QDateTime::fromSecsSinceEpoch(modified).toString(
                                 QStringLiteral("yyyy-MM-dd"))));
}

void Controller::show(const TransferReport& report) {
    if (!report.alert) {
        return;
    }
    m_dialogs.beep();
    const QString title = QString::fromStdString(report.title);
    const QString text = QString::fromStdString(report.sentence);
    if (report.ending == TransferReport::Ending::stopped) {
        m_dialogs.informationalAlert(m_window.get(), title, text);
    } else {
        m_dialogs.criticalAlert(m_window.get(), title, text);
    }
}

void Controller::transmit() {
    // What the MIDI system can carry is asked by the session, off this thread.
    Result<SendPlan> plan = prepareSend(*m_dump, *m_type, sendChoices());
    if (!plan) {
        m_timerstatus = kTimerStopped;
        show(sendRefused(plan.error()));
        return;
    }
    switchToState(kStateBusy);
    m_progress->show(plan->estimateSeconds / (kProgressTickMs / 1000.0));
    // The session silences the instrument before the user is asked anything.
    m_transmitSession = std::make_unique<TransmitSession>(
        m_midi, m_ui->popup_output->currentText().toStdString(), std::move(plan.value()));
    updateControls();
    m_transmitSession->open([this] { post([this] { transmitOpened(); }); },
                            [this](std::size_t, std::string why) {
                                post([this, why = std::move(why)] {
                                    transmitAbandoned();
                                    show(sendRefused(why));
                                });
                            });
}

void Controller::transmitAbandoned() {
    m_transmitSession.reset();
    setStatus(QString());
    m_timerstatus = kTimerStopped;
    m_progress->hide();
    switchToState(kStateLoaded);
}

void Controller::transmitOpened() {
    const std::string_view instruction = m_type->transmitInstruction();
    if (m_transmitSession->stopRequested() ||
        (!instruction.empty() &&
         !m_dialogs.readyAlert(
             m_window.get(), QStringLiteral("Ready?"),
             QString::fromUtf8(instruction.data(), static_cast<qsizetype>(instruction.size()))))) {
        transmitAbandoned(); // Stop while opening, or Escape: nothing of the dump is sent
        return;
    }
    setStatus(QStringLiteral("transmitting..."));
    m_timerstatus = kTimerCounting;
    updateControls();
    m_transmitSession->send([this](TransmitSession::Result result) {
        post([this, report = sendReport(result)] { transmitFinished(report); });
    });
}

void Controller::transmitFinished(const TransferReport& report) {
    m_transmitSession.reset(); // its thread has just posted this step and ends
    m_timerstatus = kTimerStopped;
    m_progress->hide();
    setStatus(QString());
    switchToState(m_dump->empty() ? kStateEmpty : kStateLoaded);
    show(report);
}

void Controller::StopDidPressed() {
    if (m_receiveSession) {
        m_receiveSession->stop();
    }
    if (m_transmitSession) {
        m_transmitSession->stop();
        setStatus(QStringLiteral("stopping..."));
    }
}
