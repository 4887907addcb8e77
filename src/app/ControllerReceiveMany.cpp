// Receive into Library: dump after dump from the MIDI input, each complete one written into the
// library folder under its own name at once (unless the library holds its backup already),
// until Stop or until the input goes. The window stays empty: every kept dump is a file.
#include "Controller.h"
#include "LibraryPane.h"
#include "ProgressBar.h"
#include "dumptypes/KorvoDumptype.h"
#include "midifile/BackupName.h"
#include "transfer/TransferReport.h"
#include "ui_MainWindow.h"

#include <QComboBox>

void Controller::ReceiveManyDidPressed() {
    if (!canReceive()) {
        m_dialogs.beep();
        return;
    }
    std::error_code error; // a folder that cannot be made: the first dump says so
    std::filesystem::create_directories(m_library->folder(), error);
    m_many = Many{};
    switchToState(kStateBusy);
    m_progress->show(0);
    m_progress->setIndeterminate(true);
    m_receiveSession = std::make_unique<ReceiveSession>(
        m_midi, m_ui->popup_input->currentText().toStdString(), std::chrono::milliseconds(0));
    updateControls();
    ReceiveSession::SeriesEvents events;
    events.waiting = [this] { post([this] { setStatus(manyStatus()); }); };
    events.ended = [this](ReceiveSession::Result result) {
        auto ended = std::make_shared<ReceiveSession::Result>(std::move(result));
        post([this, ended] { manyDumpEnded(std::move(*ended)); });
    };
    events.finished = [this](ReceiveSession::Result result) {
        post([this, outcome = result.outcome] { manyFinished(outcome); });
    };
    m_receiveSession->startSeries(std::move(events));
}

QString Controller::manyCounts() const {
    return QStringLiteral("%1 kept, %2 already there, %3 incomplete")
        .arg(m_many->kept)
        .arg(m_many->held)
        .arg(m_many->incomplete);
}

QString Controller::manyStatus() const {
    if (!m_receiveSession) {
        return QStringLiteral("Receive into Library: ") + manyCounts();
    }
    return QStringLiteral("receiving into the library: ") + manyCounts() +
           (m_many->last.isEmpty() ? QString() : QStringLiteral("; last: %1").arg(m_many->last));
}

void Controller::manyDumpEnded(ReceiveSession::Result result) {
    if (!m_many) {
        return;
    }
    if (!result.outcome.complete()) {
        ++m_many->incomplete;
        m_many->last = QString::fromStdString(dumpfate::incomplete(result.outcome.reason));
        setStatus(manyStatus());
        return;
    }
    // One question at a time, so that a dump kept just now is known to the next one.
    m_many->waiting.push_back(std::move(result.dump));
    if (m_many->waiting.size() == 1) {
        m_library->reader().findHolder(m_many->waiting.front());
    }
}

void Controller::manyHolderFound(const QString& path) {
    Dump dump = std::move(m_many->waiting.front());
    m_many->waiting.pop_front();
    if (!path.isEmpty()) {
        ++m_many->held;
        m_many->last = QString::fromStdString(dumpfate::sameAs(path.toStdString()));
    } else {
        dumpfile::Contents contents;
        contents.dump = std::move(dump);
        const std::string title(identifyDump(&contents.dump)->title());
        const Result<std::string> stored =
            backupname::storeAsNew(m_library->folder().string() + "/",
                                   backupname::proposed(title, backupname::today()), contents);
        if (stored) {
            ++m_many->kept;
            const std::filesystem::path name = std::filesystem::path(stored.value()).filename();
            m_many->last = QString::fromStdString(dumpfate::keptAs(name.string()));
            m_library->rescan();
            m_library->selectWhenListed(name.string());
        } else {
            ++m_many->incomplete;
            m_many->last = QString::fromStdString("not kept: " + stored.error());
        }
    }
    setStatus(manyStatus());
    if (!m_many->waiting.empty()) {
        m_library->reader().findHolder(m_many->waiting.front());
    } else if (!m_receiveSession) {
        m_many.reset(); // the last dump of a series that has ended is a file now
    }
}

void Controller::manyFinished(const RecordingOutcome& outcome) {
    m_receiveSession.reset(); // its thread has just posted this step and ends
    m_progress->setIndeterminate(false);
    m_progress->hide();
    switchToState(kStateEmpty);
    setStatus(manyStatus());
    if (outcome.failure != RecordingFailure::stopped) {
        // The input went away (or never opened): said, with what was kept before.
        m_dialogs.beep();
        m_dialogs.criticalAlert(m_window.get(), QStringLiteral("Receive into Library ended"),
                                QString::fromStdString(outcome.reason) + QStringLiteral(" ") +
                                    manyCounts() + QStringLiteral("."));
    }
    // Dumps still waiting for the library's answer are written when it comes.
    if (m_many->waiting.empty()) {
        m_many.reset();
    }
}
