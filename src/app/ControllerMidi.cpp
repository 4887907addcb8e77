// The controller's MIDI side: the port menus, the MIDI system's notifications, and the
// Receive and Transmit flows, which run as sessions (src/transfer) and post their steps back.
#include "Controller.h"

#include "ProgressBar.h"
#include "dumptypes/DumpRules.h"
#include "midifile/BackupName.h"
#include "midifile/DumpFile.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "ui_MainWindow.h"

#include <QComboBox>

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
        m_midi, m_ui->popup_input->currentText().toStdString(),
        std::chrono::milliseconds(static_cast<int>(kReceiveWaitSeconds * 1000)));
    m_receivedCounter.start();
    updateControls();
    ReceiveSession::Events events;
    events.waiting = [this] { post([this] { receiveWaiting(); }); };
    events.began = [this](bool began) { post([this, began] { receiveBegan(began); }); };
    events.finished = [this](ReceiveSession::Result result) {
        auto kept = std::make_shared<ReceiveSession::Result>(std::move(result));
        post([this, kept] { receiveFinished(std::move(kept->dump), kept->outcome); });
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

void Controller::receiveFinished(Dump recorded, const RecordingOutcome& outcome) {
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
    // A stopped receive was the user's wish: nothing to tell.
    if (!outcome.complete() && outcome.failure != RecordingFailure::stopped) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(m_window.get(), QStringLiteral("Receive incomplete"),
                                QString::fromStdString(outcome.reason));
    }
}

void Controller::transmit() {
    const auto channel = static_cast<uint8_t>(std::max(0, m_ui->popup_channel->currentIndex()));
    const int pauseMs = m_ui->popup_pause->currentData().toInt(); // 0: the model's own
    Dump sending = dumprules::preparedForTransmit(*m_dump, *m_type, channel, pauseMs / 1000.0);
    if (const Result<void> sendable = dumprules::transmitRefusal(sending); !sendable) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Transmission refused"),
            QStringLiteral("This dump cannot be sent: %1").arg(sentence(sendable.error())));
        return;
    }
    switchToState(kStateBusy);
    const double estimate = dumprules::transmitEstimateMicroseconds(sending);
    m_progress->show(estimate / (kProgressTickMs / 1000.0) / 1'000'000.0);
    // The session silences the instrument before the user is asked anything.
    m_transmitSession = std::make_unique<TransmitSession>(
        m_midi, m_ui->popup_output->currentText().toStdString(), std::move(sending));
    updateControls();
    m_transmitSession->open([this](Result<void> sendable) {
        post([this, refusal = sendable.error()] { transmitOpened(refusal); });
    });
}

void Controller::transmitAbandoned() {
    m_transmitSession.reset();
    m_timerstatus = kTimerStopped;
    m_progress->hide();
    switchToState(kStateLoaded);
}

void Controller::transmitOpened(const std::string& refusal) {
    // What the MIDI system cannot carry refuses the dump before any of it goes out.
    if (!refusal.empty()) {
        transmitAbandoned();
        m_dialogs.beep();
        m_dialogs.criticalAlert(m_window.get(), QStringLiteral("Transmission refused"),
                                QString::fromStdString(refusal));
        return;
    }
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
        post([this, result] { transmitFinished(result); });
    });
}

void Controller::transmitFinished(const TransmitSession::Result& result) {
    m_transmitSession.reset(); // its thread has just posted this step and ends
    m_timerstatus = kTimerStopped;
    m_progress->hide();
    setStatus(QString());
    switchToState(m_dump->empty() ? kStateEmpty : kStateLoaded);
    // A partly loaded operating system must never pass for a success.
    if (result.stopped) {
        m_dialogs.beep();
        m_dialogs.informationalAlert(
            m_window.get(), QStringLiteral("Transmission stopped"),
            QStringLiteral("%1 of %2 messages were sent.").arg(result.sent).arg(result.total));
    } else if (result.refused != 0) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(m_window.get(), QStringLiteral("Transmission incomplete"),
                                QStringLiteral("%1 of %2 messages could not be sent.")
                                    .arg(result.refused)
                                    .arg(result.total));
    } else if (result.mayNotHaveArrived != 0) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Transmission incomplete"),
            QString::fromStdString(TQMidiInterfaceTransmitter::mayNotHaveArrivedText(
                result.mayNotHaveArrived, result.total)));
    }
}

void Controller::StopDidPressed() {
    if (m_receiveSession) {
        m_receiveSession->stop();
    }
    if (m_transmitSession) {
        m_transmitSession->stop();
    }
}
