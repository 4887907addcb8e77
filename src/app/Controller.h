#pragma once

#include "EventTableModel.h"
#include "FileOpener.h"
#include "MessageInspectors.h"
#include "UserDialogs.h"
#include "core/event.h"
#include "dumptypes/KorvoDumptype.h"
#include "midifile/DumpFile.h"
#include "midiinterface/MidiService.h"
#include "midiinterface/RecordingOutcome.h"
#include "transfer/ReceiveSession.h"
#include "transfer/SendPlan.h"
#include "transfer/TransferReport.h"
#include "transfer/TransmitSession.h"

#include <QMainWindow>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class LibraryPane;
class QComboBox;
class QLabel;
class QPushButton;
class ProgressBar;

namespace Ui {
class MainWindow;
}

// The one controller of the window: it owns the dump, its type and the kept sequencer-specific
// data, holds the application state and keeps every control and menu item in line with it,
// serves the event table, keeps the port menus in line with the MIDI system, drives the
// progress bar and runs the flows Clear, Open, Save, Receive and Transmit.
//
// Receive and Transmit each run as a session (src/transfer) on a thread of its own, whose
// events are posted back to this object's thread, where every change of the window is made.
class Controller : public QObject {
    Q_OBJECT

public:
    enum State { kStateBusy = -1, kStateEmpty = 0, kStateLoaded = 1 };
    enum TimerStatus { kTimerStopped = -1, kTimerWaiting = 0, kTimerCounting = 1 };
    static constexpr int kProgressTickMs = 40;

    // init: the empty dump and its type, the MIDI client, the window from its description;
    // busy until awakeFromNib.
    Controller(MidiService& midi, UserDialogs& dialogs);
    // dealloc
    ~Controller() override;

    void awakeFromNib();

    // Button and menu actions: each posts its flow to the event loop and returns.
    void ClearDidPresses();
    void OpenDidPressed();
    void SaveDidPressed();
    void ReceiveDidPressed();
    void TransmitDidPressed();
    // Asks first when the dump was never saved (hasUnsavedDump).
    // Ends the Receive or Transmit under way at once (a message cut short is closed).
    void StopDidPressed();
    void showAbout();
    // Why no MIDI system could be opened, shown where the user looks.
    void setMidiProblem(const QString& problem);

    void switchToState(int state);
    void progressTimer();
    void setTimerStatus(int status) { m_timerstatus = status; }
    // What the Receive and Transmit buttons do first: the timer waits, its ticks begin.
    void startProgressTimer();
    bool applicationShouldTerminate() const;
    // What may be done now: every control follows these (updateControls).
    // Nothing else while a file is read for opening (off this thread).
    bool canOpen() const { return m_state == kStateEmpty && !opening(); }
    bool canSave() const { return m_state == kStateLoaded && !opening(); }
    bool canClear() const { return m_state == kStateLoaded && !opening(); }
    bool canReceive() const { return m_state == kStateEmpty && m_sources != 0 && !opening(); }
    bool canTransmit() const {
        return m_state == kStateLoaded && m_destinations != 0 && !opening();
    }
    bool opening() const { return m_opener->reading(); }
    bool canQuit() const { return m_state != kStateBusy; }
    // A received dump, or an edited track name or instrument, not saved since.
    bool hasUnsavedDump() const { return m_unsaved; }
    bool canStop() const { return m_receiveSession != nullptr || m_transmitSession != nullptr; }
    // Files chosen in the library pane, an output, and nothing else under way.
    bool canSendFiles() const;
    // Send Selected Files: the chosen files in the pane's order, after a dialog.
    void SendFilesDidPressed();
    // Receive into Library: dump after dump into the library folder until Stop.
    void ReceiveManyDidPressed();
    // The predicate of a menu item's tag in MainWindow.ui.
    bool validateMenuItem(int tag) const;

    // The flows.
    void open();
    void save();
    // Save's flow; true when the dump was written.
    bool saveDump();
    void receive();
    void transmit();
    void rescanMidi();
    // The MIDI client's notification callback, on a thread of the MIDI service.
    static void MidiNotifyProc(const MidiNotification& notification, void* refCon);

    static constexpr std::chrono::seconds kReceiveWait{10};
    // Setup changes this close together make one alert.
    static constexpr int kSetupChangeQuietMs = 300;
    static constexpr int kReceivedCounterMs = 200;
    static constexpr double kReceiveWaitTicks = 250.0;
    // Open without the panel: a file named on the command line. The file is read off this
    // thread; the window shows it when it was read whole (`opening()` until then).
    void openPath(const QString& path);
    // Reads the file off this thread, then `next` with what it holds; a file that cannot be
    // taken whole alerts instead and leaves the window as it was.
    using Opened = std::function<void(const std::filesystem::path&, dumpfile::Contents)>;
    void readThen(const std::filesystem::path& path, Opened next);
    void showOpened(const std::filesystem::path& path, dumpfile::Contents contents);

    QMainWindow& window() { return *m_window; }
    Ui::MainWindow& ui() { return *m_ui; }
    int state() const { return m_state; }
    int timerStatus() const { return m_timerstatus; }
    const Dump& dump() const { return *m_dump; }
    const KorvoDumptype& type() const { return *m_type; }
    const buffer& meta7f() const { return *m_meta7f; }
    MessageInspectors& inspectors() { return *m_inspectors; }
    LibraryPane& library() { return *m_library; }
    // Opens a file of the library as Open does, clearing (asking first) what is loaded.
    // The path as the file system has it: a name that is not UTF-8 opens too.
    void openFromLibrary(const std::filesystem::path& path);
    // The library's answer to `question`, whether it holds a received dump already: for the
    // one that asked it, if it still waits (a series' dump, or the dump still loaded).
    void holderFound(quint64 question, const QString& path, qint64 modified);
    void chooseLibraryFolder();
    // The progress bar in the units of the flows (ticks), and whether it is indeterminate.
    double progressValue() const;
    double progressMaximum() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A reason from the libraries ("the file is empty") as the end of a sentence in an alert.
    static QString sentence(const std::string& reason);
    void reidentify();
    void updateControls();
    void setUnsaved(bool unsaved);
    // Empties the window (Clear without its question).
    void clear();
    // The library pane and its menus (ControllerLibrary.cpp).
    void setUpLibrary();
    QString libraryFolder() const;
    // Makes the library folder before a panel starts in it: it is made when first needed.
    void ensureLibraryFolder();
    // Before the unsaved dump goes: true when it may go (saved, or discarded).
    bool mayDropDump(const QString& question);
    // The status line, told to assistive technology when it changes.
    void setStatus(const QString& text);
    // A line of text whose accessible name is "<name>: <text>", and each change announced.
    static void showText(QLabel& label, const QString& name, const QString& text);
    void later(void (Controller::*flow)());
    void setTitleFromPath(const QString& path);
    // Where Save's panel starts: the dump's own file, or for a received dump a free name
    // after its type and the day it arrived, in the last folder.
    QString saveSuggestion() const;
    // The file the dump now stands for, and where the panels start next time.
    void rememberFile(const QString& path);
    void fillPortMenu(QComboBox* popup, uint16_t count, const QString& none, bool sources);
    // "Pause between messages" and "Sending speed", with their choices.
    void fillSendingMenus();
    // Runs `step` on this object's thread (from a session's).
    template <class Step>
    void post(Step step) {
        QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
    }
    void receiveWaiting();
    void receiveBegan(bool began);
    void showReceived();
    void receiveFinished(Dump recorded, const TransferReport& report);
    void transmitOpened();
    // Back to the loaded dump, nothing of it sent.
    void transmitAbandoned();
    void transmitFinished(const TransferReport& report);
    // The channel, pause and speed chosen in the window.
    SendChoices sendChoices() const;
    // The series of Send Selected Files: the next file (its instruction asked when new), one
    // file's end, the series' end.
    struct Series;
    // The files read and planned: the dialog, then the series.
    void sendPlannedFiles(Series series, std::vector<SendPlan> plans, const QStringList& lines);
    void seriesNext();
    void seriesFileDone(const TransmitSession::Result& result);
    void seriesEnded();
    // Receive into Library: a dump ended, the library's answer for the first waiting one,
    // the series' end; the counts and the status line.
    void manyDumpEnded(ReceiveSession::Result result);
    void manyNext();
    void manyHolderFound(const QString& path);
    void manyFinished(const RecordingOutcome& outcome);
    void manyEnd();
    QString manyCounts() const;
    QString manyStatus() const;
    // Tells the user how a transfer ended, as the report says.
    void show(const TransferReport& report);

    MidiService& m_midi;
    UserDialogs& m_dialogs;
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<Ui::MainWindow> m_ui;

    std::unique_ptr<FileOpener> m_opener = std::make_unique<FileOpener>();
    std::unique_ptr<Dump> m_dump;
    std::unique_ptr<KorvoDumptype> m_type;
    std::unique_ptr<buffer> m_meta7f;
    int m_state = kStateBusy;
    MIDIClientRef m_client = 0;
    uint16_t m_sources = 0;
    uint16_t m_destinations = 0;
    int m_timerstatus = kTimerStopped;
    bool m_unsaved = false;

    EventTableModel* m_table = nullptr;         // owned by the window
    MessageInspectors* m_inspectors = nullptr;  // owned by the table
    LibraryPane* m_library = nullptr;           // owned by the window
    QAction* m_sendFiles = nullptr;             // owned by the window
    QAction* m_receiveMany = nullptr;           // owned by the window
    QPushButton* m_receiveManyButton = nullptr; // owned by the window
    std::unique_ptr<ProgressBar> m_progress;
    // The transfer under way; set and reset only on this object's thread.
    std::unique_ptr<ReceiveSession> m_receiveSession;
    std::unique_ptr<TransmitSession> m_transmitSession;
    // Send Selected Files under way (with m_transmitSession).
    struct Series {
        std::vector<std::string> names; // as the pane shows them
        std::vector<std::string> instructions;
        std::vector<double> seconds; // each file's estimate
        std::vector<TransmitSession::Result> results;
        int between = 1; // seconds
        int stateBefore = kStateEmpty;
    };
    std::optional<Series> m_series;
    // Receive into Library under way (with m_receiveSession), or its last dumps still being
    // kept: the window stays busy until every complete dump is a file or known to be held.
    struct Many {
        int kept = 0, held = 0, incomplete = 0;
        QString last;                           // what became of the last dump
        std::deque<Dump> waiting;               // complete dumps not yet handled, in order
        bool handling = false;                  // the first of them is asked about or being written
        quint64 asked = 0;                      // the library's question about it, till answered
        std::optional<RecordingOutcome> ending; // how the recording ended, once it has
    };
    std::optional<Many> m_many;
    QString m_lastFolder;  // where Open and Save were last
    QString m_currentPath; // the file the dump came from or went to; "" for a received one
    std::chrono::year_month_day m_receivedOn{}; // the day the received dump arrived
    uint64_t m_dumpGeneration = 0; // counts the dumps loaded, so a late answer finds its own
    quint64 m_askedForHolder = 0;  // the library's question about the loaded dump, or 0
    QTimer m_setupChange;
    QTimer m_receivedCounter;
};
