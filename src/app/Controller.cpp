#include "Controller.h"

#include "DropFilter.h"
#include "dumptypes/DumpRules.h"
#include "midifile/DumpFile.h"
#include "midifile/DumpFiles.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QScreen>
#include <QTimer>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// The progress bar counts in hundredths of a tick, so fractional maxima keep their meaning.
constexpr double kBarScale = 100.0;

const QString kEmptyTitle = QStringLiteral("empty.mid");

// A reason from the libraries ("the file is empty") as the end of a sentence.
QString sentence(const std::string& reason) {
    const QString text = QString::fromStdString(reason);
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

} // namespace

Controller::Controller(MidiService& midi, UserDialogs& dialogs)
    : m_midi(midi), m_dialogs(dialogs), m_window(std::make_unique<QMainWindow>()),
      m_ui(std::make_unique<Ui::MainWindow>()), m_dump(std::make_unique<Dump>()),
      m_type(identifyDump(m_dump.get())), m_meta7f(std::make_unique<buffer>()) {
    if (m_midi.clientCreate(midi::kProgramName, &MidiNotifyProc, this, &m_client) !=
        MidiStatus::ok) {
        m_client = 0; // no ports then: Receive and Transmit fail with the MIDI system's reason
    }

    m_ui->setupUi(m_window.get());
    m_table = new EventTableModel(m_type, m_window.get());
    QTableView& table = *m_ui->tableview_events;
    table.setModel(m_table);
    // Fixed sizes: measuring contents would visit every row of a 100,000-message dump.
    const int line = table.fontMetrics().height();
    table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table.verticalHeader()->setDefaultSectionSize(line + 6);
    table.horizontalHeader()->setStretchLastSection(false);
    table.horizontalHeader()->setSectionResizeMode(EventTableModel::kHeader, QHeaderView::Stretch);
    table.setColumnWidth(EventTableModel::kNo,
                         table.fontMetrics().horizontalAdvance("0000000") + 12);
    table.setColumnWidth(EventTableModel::kSize,
                         table.fontMetrics().horizontalAdvance("00000000") + 12);
    m_window->installEventFilter(this);

    connect(m_ui->button_clear, &QPushButton::clicked, this, &Controller::ClearDidPresses);
    connect(m_ui->button_open, &QPushButton::clicked, this, &Controller::OpenDidPressed);
    connect(m_ui->button_save, &QPushButton::clicked, this, &Controller::SaveDidPressed);
    connect(m_ui->action_clear, &QAction::triggered, this, &Controller::ClearDidPresses);
    connect(m_ui->action_open, &QAction::triggered, this, &Controller::OpenDidPressed);
    connect(m_ui->action_save, &QAction::triggered, this, &Controller::SaveDidPressed);
    connect(m_ui->button_receive, &QPushButton::clicked, this, &Controller::ReceiveDidPressed);
    connect(m_ui->button_transmit, &QPushButton::clicked, this, &Controller::TransmitDidPressed);
    connect(m_ui->action_receive, &QAction::triggered, this, &Controller::ReceiveDidPressed);
    connect(m_ui->action_transmit, &QAction::triggered, this, &Controller::TransmitDidPressed);
    connect(m_ui->action_quit, &QAction::triggered, m_window.get(), &QWidget::close);
    connect(m_ui->button_stop, &QPushButton::clicked, this, &Controller::StopDidPressed);
    connect(m_ui->action_stop, &QAction::triggered, this, &Controller::StopDidPressed);
    connect(m_ui->action_about, &QAction::triggered, this, &Controller::showAbout);
    connect(m_ui->action_about_qt, &QAction::triggered, qApp, &QApplication::aboutQt);
    // Several changes in a moment (a device with four ports, a change and its reversal) make
    // one alert.
    m_setupChange.setSingleShot(true);
    m_setupChange.setInterval(kSetupChangeQuietMs);
    connect(&m_setupChange, &QTimer::timeout, this, [this] {
        m_dialogs.beep();
        m_dialogs.informationalAlert(
            m_window.get(), QStringLiteral("MIDI Environment did change!"),
            QStringLiteral("MIDI Environment did change! The MIDI inputs and outputs have been "
                           "read anew."));
        rescanMidi();
    });
    // What has arrived so far, while a dump is recorded (the progress ticks end when it begins).
    m_receivedCounter.setInterval(kReceivedCounterMs);
    connect(&m_receivedCounter, &QTimer::timeout, this, &Controller::showReceived);
    Q_INIT_RESOURCE(resources); // the icon, from a static library
    m_window->setWindowIcon(QIcon(QStringLiteral(":/icons/org.bankshuttle.BankShuttle.svg")));
    new DropFilter(
        m_window.get(), [this] { return validateMenuItem(1); },
        [this](const QString& path) { openPath(path); });
    updateMenuItems();
}

Controller::~Controller() {
    // No notification reaches this object once the client is gone.
    // Ends every port with it; a client the MIDI system lost meanwhile is gone already.
    static_cast<void>(m_midi.clientDispose(m_client));
    // A transfer always ends, the receiver's wait included; its last step is never run.
    m_receiveSession.reset();
    m_transmitSession.reset();
    m_window->removeEventFilter(this);
}

void Controller::awakeFromNib() {
    m_ui->text_version->setText(QStringLiteral("Version " BANKSHUTTLE_VERSION));
    m_ui->text_status->setText(QString());
    m_ui->progress_duration->setVisible(false);
    m_ui->popup_channel->setCurrentIndex(0);
    m_window->move(m_window->screen()->availableGeometry().center() - m_window->rect().center());
    switchToState(kStateEmpty);
    rescanMidi();
}

void Controller::switchToState(int state) {
    m_state = state;
    if (state == kStateEmpty) {
        m_ui->edit_trackname->setText(QString());
        m_ui->edit_instrument->setText(QString());
        m_window->setWindowTitle(kEmptyTitle);
    }
    const std::string_view title = m_type->title();
    m_ui->edit_dumptype->setText(
        QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    m_ui->button_open->setEnabled(m_state == kStateEmpty);
    m_ui->button_save->setEnabled(m_state == kStateLoaded);
    m_ui->button_clear->setEnabled(m_state == kStateLoaded);
    m_ui->button_receive->setEnabled(m_state == kStateEmpty && m_sources != 0);
    m_ui->button_transmit->setEnabled(m_state == kStateLoaded && m_destinations != 0);
    m_ui->popup_input->setEnabled(m_state == kStateEmpty);
    m_ui->popup_output->setEnabled(m_state == kStateLoaded);
    m_ui->popup_channel->setEnabled(m_type->hasChannel());
    updateMenuItems();
    m_table->reloadData();
}

bool Controller::validateMenuItem(int tag) const {
    switch (tag) {
    case 1:
        return m_state == kStateEmpty;
    case 2:
    case 3:
        return m_state == kStateLoaded;
    case 4:
        return m_state == kStateEmpty && m_sources != 0;
    case 5:
        return m_state == kStateLoaded && m_destinations != 0;
    case 6:
        return m_state != kStateBusy;
    case 7:
        return m_receiveSession != nullptr || m_transmitSession != nullptr;
    default:
        return true;
    }
}

// One place that enables every menu item, by its tag.
void Controller::updateMenuItems() {
    for (QAction* action : m_window->findChildren<QAction*>()) {
        const QVariant tag = action->property("tag");
        if (tag.isValid()) {
            action->setEnabled(validateMenuItem(tag.toInt()));
        }
    }
    m_ui->button_stop->setEnabled(validateMenuItem(7));
}

bool Controller::applicationShouldTerminate() const {
    return m_state != kStateBusy;
}

bool Controller::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window.get() && event->type() == QEvent::Close &&
        !applicationShouldTerminate()) {
        // A transfer runs: closing now could leave an instrument half-loaded.
        event->ignore();
        m_ui->text_status->setText(
            QStringLiteral("A transfer is running: press Stop (Esc) first, then quit."));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void Controller::later(void (Controller::*flow)()) {
    QMetaObject::invokeMethod(this, flow, Qt::QueuedConnection);
}

void Controller::ClearDidPresses() {
    m_currentPath.clear();
    m_dump->clear();
    reidentify();
    m_meta7f->clear();
    switchToState(kStateEmpty);
}

void Controller::OpenDidPressed() {
    later(&Controller::open);
}

void Controller::SaveDidPressed() {
    later(&Controller::save);
}

void Controller::reidentify() {
    m_type = identifyDump(m_dump.get());
}

void Controller::showReceived() {
    if (m_receiveSession) {
        const std::size_t messages = m_receiveSession->recordedMessages();
        const std::size_t bytes = m_receiveSession->recordedBytes();
        m_ui->text_received->setText(
            messages + bytes == 0
                ? QString()
                : QStringLiteral("%1 messages, %2 bytes").arg(messages).arg(bytes));
    }
}

void Controller::progressTimer() {
    switch (m_timerstatus) {
    case kTimerCounting:
        setProgressValue(m_progressValue + 1.0);
        [[fallthrough]];
    case kTimerWaiting:
        QTimer::singleShot(kProgressTickMs, this, &Controller::progressTimer);
        break;
    default:
        break; // stopped: the chain of ticks ends here
    }
}

void Controller::startProgressTimer() {
    m_timerstatus = kTimerWaiting;
    QTimer::singleShot(kProgressTickMs, this, &Controller::progressTimer);
}

void Controller::showProgress(double maximumTicks) {
    setProgressIndeterminate(false);
    setProgressMaximum(maximumTicks);
    setProgressValue(0.0);
    m_ui->progress_duration->setVisible(true);
}

void Controller::setProgressMaximum(double ticks) {
    m_progressMaximum = ticks;
    m_ui->progress_duration->setMaximum(static_cast<int>(ticks * kBarScale));
}

void Controller::setProgressValue(double ticks) {
    m_progressValue = ticks;
    m_ui->progress_duration->setValue(
        static_cast<int>(std::min(ticks, m_progressMaximum) * kBarScale));
}

void Controller::setProgressIndeterminate(bool indeterminate) {
    if (indeterminate) {
        m_ui->progress_duration->setRange(0, 0); // Qt animates a bar without a range
    } else {
        setProgressMaximum(m_progressMaximum);
        m_ui->progress_duration->setMinimum(0);
    }
}

void Controller::setTitleFromPath(const QString& path) {
    m_window->setWindowTitle(QFileInfo(path).fileName());
}

void Controller::open() {
    const std::optional<QString> path = m_dialogs.fileToRead(m_window.get(), m_lastFolder);
    if (!path) {
        return;
    }
    openPath(*path);
}

void Controller::openPath(const QString& path) {
    LoadedDump loaded = loadDump(path.toStdString());
    if (!loaded.ok) {
        // Nothing of a file that cannot be taken whole is loaded; the window keeps its state.
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Wrong file format"),
            loaded.tooManyTracks
                ? QStringLiteral(
                      "BankShuttle supports only midi files with format 0 (single track).")
                : QStringLiteral("\"%1\" cannot be opened: %2")
                      .arg(QFileInfo(path).fileName(), sentence(loaded.error)));
        return;
    }
    dumpfile::Contents& contents = loaded.contents;
    if (contents.trackname) {
        m_ui->edit_trackname->setText(QString::fromStdString(*contents.trackname));
    }
    if (contents.instrument) {
        m_ui->edit_instrument->setText(QString::fromStdString(*contents.instrument));
    }
    if (contents.meta7f) {
        *m_meta7f = std::move(*contents.meta7f);
    }
    *m_dump = std::move(contents.dump);
    reidentify();
    setTitleFromPath(path);
    rememberFile(path);
    switchToState(m_dump->empty() ? kStateEmpty : kStateLoaded);
}

void Controller::rememberFile(const QString& path) {
    m_lastFolder = QFileInfo(path).absolutePath();
    m_currentPath = QFileInfo(path).absoluteFilePath();
}

void Controller::save() {
    // The panel starts with the file this dump came from, or "untitled.mid" in the last folder.
    const QString suggestion = !m_currentPath.isEmpty()
                                   ? m_currentPath
                                   : QDir(m_lastFolder).filePath(m_window->windowTitle());
    const std::optional<QString> path = m_dialogs.fileToWrite(m_window.get(), suggestion);
    if (!path) {
        return;
    }
    // ".syx" holds the messages as they are; anything else is a MIDI file by the Save rules.
    std::string why;
    if (!storeDump(path->toStdString(), *m_dump, m_ui->edit_trackname->text().toStdString(),
                   m_ui->edit_instrument->text().toStdString(), *m_meta7f, &why)) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(m_window.get(), QStringLiteral("Could not save"),
                                QStringLiteral("The dump could not be saved as \"%1\": %2.")
                                    .arg(QFileInfo(*path).fileName(), QString::fromStdString(why)));
        return;
    }
    setTitleFromPath(*path);
    rememberFile(*path);
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
    m_ui->button_receive->setEnabled(m_sources != 0 && m_state == kStateEmpty);
    m_ui->button_transmit->setEnabled(m_destinations != 0 && m_state == kStateLoaded);
    updateMenuItems();
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
    showProgress(kReceiveWaitTicks);
    // The endpoint the menu shows, or none if it has gone since.
    m_receiveSession = std::make_unique<ReceiveSession>(
        m_midi, m_client, m_ui->popup_input->currentText().toStdString(),
        std::chrono::milliseconds(static_cast<int>(kReceiveWaitSeconds * 1000)));
    m_receivedCounter.start();
    updateMenuItems();
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
    m_ui->text_status->setText(QStringLiteral("waiting for sysex data..."));
    m_timerstatus = kTimerCounting;
}

void Controller::receiveBegan(bool began) {
    if (began) {
        m_ui->text_status->setText(QStringLiteral("recording..."));
        setProgressIndeterminate(true);
    }
    m_timerstatus = kTimerStopped;
}

void Controller::receiveFinished(Dump recorded, const RecordingOutcome& outcome) {
    m_receiveSession.reset(); // its thread has just posted this step and ends
    m_receivedCounter.stop();
    m_ui->text_received->clear();
    m_currentPath.clear();
    setProgressIndeterminate(false);
    setProgressValue(0.0);
    // A recording that may have lost a byte is never kept (the session hands over none).
    *m_dump = std::move(recorded);
    reidentify();
    if (!m_dump->empty()) {
        m_ui->edit_trackname->setText(QString(dumpfile::kTracknamePlaceholder.data()));
        m_ui->edit_instrument->setText(QString(dumpfile::kInstrumentPlaceholder.data()));
        m_window->setWindowTitle(QStringLiteral("untitled.mid"));
    }
    m_ui->text_status->setText(QString());
    m_ui->progress_duration->setVisible(false);
    switchToState(m_dump->empty() ? kStateEmpty : kStateLoaded);
    // A stopped receive was the user's wish: nothing to tell.
    if (!outcome.complete() && outcome.failure != RecordingFailure::stopped) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(m_window.get(), QStringLiteral("Receive incomplete"),
                                QString::fromStdString(outcome.reason));
    }
}

void Controller::transmit() {
    const auto channel = static_cast<uint8_t>(std::max(0, m_ui->popup_channel->currentIndex()));
    Dump sending = dumprules::preparedForTransmit(*m_dump, *m_type, channel);
    if (const std::string damage = dumprules::transmitRefusal(sending); !damage.empty()) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Transmission refused"),
            QStringLiteral("This dump cannot be sent: %1").arg(sentence(damage)));
        return;
    }
    switchToState(kStateBusy);
    const double estimate = dumprules::transmitEstimateMicroseconds(sending);
    showProgress(estimate / (kProgressTickMs / 1000.0) / 1'000'000.0);
    // The session silences the instrument before the user is asked anything.
    m_transmitSession = std::make_unique<TransmitSession>(
        m_midi, m_client, m_ui->popup_output->currentText().toStdString(), std::move(sending));
    updateMenuItems();
    m_transmitSession->open(
        [this](std::string refusal) { post([this, refusal] { transmitOpened(refusal); }); });
}

void Controller::transmitAbandoned() {
    m_transmitSession.reset();
    m_timerstatus = kTimerStopped;
    setProgressValue(0.0);
    m_ui->progress_duration->setVisible(false);
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
    m_ui->text_status->setText(QStringLiteral("transmitting..."));
    m_timerstatus = kTimerCounting;
    updateMenuItems();
    m_transmitSession->send([this](TransmitSession::Result result) {
        post([this, result] { transmitFinished(result); });
    });
}

void Controller::transmitFinished(const TransmitSession::Result& result) {
    m_transmitSession.reset(); // its thread has just posted this step and ends
    m_timerstatus = kTimerStopped;
    setProgressValue(0.0);
    m_ui->text_status->setText(QString());
    m_ui->progress_duration->setVisible(false);
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

void Controller::showAbout() {
    m_dialogs.informationalAlert(
        m_window.get(), QStringLiteral("About BankShuttle"),
        QStringLiteral("BankShuttle " BANKSHUTTLE_VERSION "\n\nBacks up and restores the presets, "
                       "sound banks and operating systems of KoRvO synthesizers over MIDI."));
}

void Controller::setMidiProblem(const QString& problem) {
    m_ui->text_status->setText(problem);
    m_ui->text_status->setWordWrap(true);
}
