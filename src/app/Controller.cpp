#include "Controller.h"

#include "DropFilter.h"
#include "LibraryPane.h"
#include "ProgressBar.h"
#include "dumptypes/DumpRules.h"
#include "midifile/BackupName.h"
#include "midifile/DumpFile.h"
#include "midifile/DumpFiles.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "ui_MainWindow.h"

#include <QAccessible>
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

// "[*]" is where Qt shows the unsaved mark (setWindowModified).
const QString kEmptyTitle = QStringLiteral("empty.mid[*]");

} // namespace

QString Controller::sentence(const std::string& reason) {
    return QString::fromStdString(asSentence(reason));
}

Controller::Controller(MidiService& midi, UserDialogs& dialogs)
    : m_midi(midi), m_dialogs(dialogs), m_window(std::make_unique<QMainWindow>()),
      m_ui(std::make_unique<Ui::MainWindow>()), m_dump(std::make_unique<Dump>()),
      m_type(identifyDump(m_dump.get())), m_meta7f(std::make_unique<buffer>()) {
    if (m_midi.clientCreate(midi::kProgramName, &MidiNotifyProc, this, &m_client) !=
        MidiStatus::ok) {
        m_client = 0; // no ports then: Receive and Transmit fail with the MIDI system's reason
    }

    m_ui->setupUi(m_window.get());
    m_progress = std::make_unique<ProgressBar>(*m_ui->progress_duration);
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
    m_inspectors = new MessageInspectors(table, *m_dump, m_type);
    fillSendingMenus();

    // Only what the user types counts as a change, not what a file or a receive fills in.
    connect(m_ui->edit_trackname, &QLineEdit::textEdited, this, [this] { setUnsaved(true); });
    connect(m_ui->edit_instrument, &QLineEdit::textEdited, this, [this] { setUnsaved(true); });
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
        m_window.get(), [this] { return canOpen(); },
        [this](const QString& path) { openPath(path); });
    setUpLibrary();
    updateControls();
}

Controller::~Controller() {
    m_opener.reset(); // a read under way ends first; its answer is never shown
    // No notification reaches this object once the client is gone.
    // Ends every port with it; a client the MIDI system lost meanwhile is gone already.
    static_cast<void>(m_midi.clientDispose(m_client));
    // A transfer always ends, the receiver's wait included; its last step is never run.
    m_receiveSession.reset();
    m_transmitSession.reset();
    m_window->removeEventFilter(this);
    // Before the dump and its type: a window still shown relays out its table while it is
    // destroyed, and the table reads them.
    m_window.reset();
}

void Controller::awakeFromNib() {
    m_ui->text_version->setText(QStringLiteral("Version " BANKSHUTTLE_VERSION));
    setStatus(QString());
    m_ui->progress_duration->setVisible(false);
    m_ui->popup_channel->setCurrentIndex(0);
    m_window->move(m_window->screen()->availableGeometry().center() - m_window->rect().center());
    switchToState(kStateEmpty);
    rescanMidi();
    // The arrow keys walk the messages, Enter opens one.
    m_ui->tableview_events->setFocus();
}

void Controller::switchToState(int state) {
    m_state = state;
    if (state == kStateEmpty) {
        m_ui->edit_trackname->setText(QString());
        m_ui->edit_instrument->setText(QString());
        m_window->setWindowTitle(kEmptyTitle);
        setUnsaved(false);
    }
    const std::string_view title = m_type->title();
    m_ui->edit_dumptype->setText(
        QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    updateControls();
    m_table->reloadData();
}

bool Controller::validateMenuItem(int tag) const {
    // The tags of the menu items in MainWindow.ui.
    switch (tag) {
    case 1:
        return canOpen();
    case 2:
        return canSave();
    case 3:
        return canClear();
    case 4:
        return canReceive();
    case 5:
        return canTransmit();
    case 6:
        return canQuit();
    case 7:
        return canStop();
    default:
        return true;
    }
}

// The one place that enables every button, menu and menu item.
void Controller::updateControls() {
    m_ui->button_open->setEnabled(canOpen());
    m_ui->button_save->setEnabled(canSave());
    m_ui->button_clear->setEnabled(canClear());
    m_ui->button_receive->setEnabled(canReceive());
    m_ui->button_transmit->setEnabled(canTransmit());
    m_ui->button_stop->setEnabled(canStop());
    m_ui->popup_input->setEnabled(m_state == kStateEmpty);
    m_ui->popup_output->setEnabled(m_state == kStateLoaded);
    m_ui->popup_channel->setEnabled(m_type->hasChannel());
    m_ui->popup_pause->setEnabled(m_state != kStateBusy);
    m_ui->popup_speed->setEnabled(m_state != kStateBusy);
    if (m_sendFiles != nullptr) {
        m_sendFiles->setEnabled(canSendFiles());
        m_receiveMany->setEnabled(canReceive());
        m_receiveManyButton->setEnabled(canReceive());
    }
    for (QAction* action : m_window->findChildren<QAction*>()) {
        const QVariant tag = action->property("tag");
        if (tag.isValid()) {
            action->setEnabled(validateMenuItem(tag.toInt()));
        }
    }
}

bool Controller::applicationShouldTerminate() const {
    return canQuit();
}

bool Controller::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window.get() && event->type() == QEvent::Close) {
        if (!applicationShouldTerminate()) {
            // A transfer runs: closing now could leave an instrument half-loaded.
            event->ignore();
            setStatus(
                m_many && !m_receiveSession
                    ? QStringLiteral("The last received dump is being written into the "
                                     "library: quit again in a moment.")
                    : QStringLiteral("A transfer is running: press Stop (Esc) first, then quit."));
            return true;
        }
        if (!mayDropDump(QStringLiteral("Save the received dump before quitting?"))) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void Controller::setUnsaved(bool unsaved) {
    // An empty window has nothing to lose.
    m_unsaved = unsaved && !m_dump->empty();
    m_window->setWindowModified(m_unsaved);
}

bool Controller::mayDropDump(const QString& question) {
    if (!m_unsaved) {
        return true;
    }
    switch (m_dialogs.askToSave(m_window.get(), question)) {
    case UserDialogs::Unsaved::save:
        return saveDump();
    case UserDialogs::Unsaved::discard:
        return true;
    case UserDialogs::Unsaved::cancel:
        return false;
    }
    return false;
}

void Controller::setStatus(const QString& text) {
    showText(*m_ui->text_status, QStringLiteral("Status"), text);
}

void Controller::showText(QLabel& label, const QString& name, const QString& text) {
    label.setText(text);
    // A screen reader reads the name: the line's purpose, then what it says now.
    label.setAccessibleName(text.isEmpty() ? name : QStringLiteral("%1: %2").arg(name, text));
    QAccessibleEvent changed(&label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void Controller::later(void (Controller::*flow)()) {
    QMetaObject::invokeMethod(this, flow, Qt::QueuedConnection);
}

void Controller::ClearDidPresses() {
    if (mayDropDump(QStringLiteral("Save the received dump before clearing it?"))) {
        clear();
    }
}

void Controller::clear() {
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
    ++m_dumpGeneration;
    m_askedForHolder = 0;     // its answer is for the dump that is now gone
    m_inspectors->closeAll(); // they were opened on the dump that is now gone
    m_type = identifyDump(m_dump.get());
}

void Controller::showReceived() {
    if (m_receiveSession) {
        const std::size_t messages = m_receiveSession->recordedMessages();
        const std::size_t bytes = m_receiveSession->recordedBytes();
        const QString text = messages + bytes == 0
                                 ? QString()
                                 : QStringLiteral("%1 messages, %2 bytes").arg(messages).arg(bytes);
        showText(*m_ui->text_received, QStringLiteral("Received so far"), text);
    }
}

void Controller::progressTimer() {
    switch (m_timerstatus) {
    case kTimerCounting:
        m_progress->setValue(m_progress->value() + 1.0);
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

double Controller::progressValue() const {
    return m_progress->value();
}

double Controller::progressMaximum() const {
    return m_progress->maximum();
}

void Controller::setTitleFromPath(const QString& path) {
    m_window->setWindowTitle(QFileInfo(path).fileName() + QStringLiteral("[*]"));
}

void Controller::rememberFile(const QString& path) {
    m_lastFolder = QFileInfo(path).absolutePath();
    m_currentPath = QFileInfo(path).absoluteFilePath();
}

void Controller::save() {
    static_cast<void>(saveDump()); // the alert has said what went wrong
}

bool Controller::saveDump() {
    ensureLibraryFolder();
    const std::optional<QString> path = m_dialogs.fileToWrite(m_window.get(), saveSuggestion());
    if (!path) {
        return false;
    }
    // ".syx" holds the messages as they are; anything else is a MIDI file by the Save rules.
    const Result<void> stored =
        storeDump(path->toStdString(), *m_dump, m_ui->edit_trackname->text().toStdString(),
                  m_ui->edit_instrument->text().toStdString(), *m_meta7f);
    if (!stored) {
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Could not save"),
            QStringLiteral("The dump could not be saved as \"%1\": %2.")
                .arg(QFileInfo(*path).fileName(), QString::fromStdString(stored.error())));
        return false;
    }
    setTitleFromPath(*path);
    rememberFile(*path);
    setUnsaved(false);
    m_library->rescan();
    return true;
}

QString Controller::saveSuggestion() const {
    if (!m_currentPath.isEmpty()) {
        return m_currentPath;
    }
    const std::string name = backupname::firstFree(
        m_lastFolder.toStdString(), backupname::proposed(m_type->title(), m_receivedOn));
    return QDir(m_lastFolder).filePath(QString::fromStdString(name));
}

void Controller::showAbout() {
    m_dialogs.informationalAlert(
        m_window.get(), QStringLiteral("About BankShuttle"),
        QStringLiteral("BankShuttle " BANKSHUTTLE_VERSION "\n\nBacks up and restores the presets, "
                       "sound banks and operating systems of KoRvO synthesizers over MIDI."));
}

void Controller::setMidiProblem(const QString& problem) {
    setStatus(problem);
    m_ui->text_status->setWordWrap(true);
}
