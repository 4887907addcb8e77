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
    // One dump at a time, so that a dump kept just now is known to the next one.
    m_many->waiting.push_back(std::move(result.dump));
    if (!m_many->handling) {
        manyNext();
    }
}

void Controller::manyNext() {
    m_many->handling = !m_many->waiting.empty();
    if (m_many->handling) {
        m_many->asked = m_library->reader().findHolder(m_many->waiting.front());
    } else if (m_many->ending) {
        manyEnd();
    }
}

void Controller::manyHolderFound(const QString& path) {
    auto contents = std::make_shared<dumpfile::Contents>();
    contents->dump = std::move(m_many->waiting.front());
    m_many->waiting.pop_front();
    if (!path.isEmpty()) {
        ++m_many->held;
        m_many->last = QString::fromStdString(dumpfate::sameAs(path.toStdString()));
        setStatus(manyStatus());
        manyNext();
        return;
    }
    // Written off this thread: a dump may be megabytes, and the write waits for the disk.
    auto stored = std::make_shared<std::optional<Result<std::string>>>();
    const std::string folder = m_library->folder().string() + "/";
    m_opener->run(
        [contents, stored, folder] {
            const std::string title(identifyDump(&contents->dump)->title());
            stored->emplace(backupname::storeAsNew(
                folder, backupname::proposed(title, backupname::today()), *contents));
        },
        [this, stored] {
            if (stored->value()) {
                ++m_many->kept;
                const std::string name =
                    std::filesystem::path(stored->value().value()).filename().string();
                m_many->last = QString::fromStdString(dumpfate::keptAs(name));
                m_library->rescan();
                m_library->selectWhenListed(name);
            } else {
                ++m_many->incomplete;
                m_many->last = QString::fromStdString("not kept: " + stored->value().error());
            }
            setStatus(manyStatus());
            manyNext();
        });
}

void Controller::manyFinished(const RecordingOutcome& outcome) {
    m_receiveSession.reset(); // its thread has just posted this step and ends
    m_many->ending = outcome;
    updateControls();
    if (!m_many->handling) {
        manyEnd();
    }
    // Otherwise the window stays busy until the dumps still waiting are files.
}

void Controller::manyEnd() {
    const RecordingOutcome outcome = *m_many->ending;
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
    m_many.reset();
}
