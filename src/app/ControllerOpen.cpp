// Opening a dump file: the panel's choice or a named file, read off the window's thread and
// shown once it was read whole.
#include "Controller.h"

#include "ui_MainWindow.h"

void Controller::open() {
    const std::optional<QString> path = m_dialogs.fileToRead(m_window.get(), m_lastFolder);
    if (!path) {
        return;
    }
    openPath(*path);
}

void Controller::openPath(const QString& path) {
    readThen(path.toStdString(),
             [this](const std::filesystem::path& file, dumpfile::Contents contents) {
                 showOpened(file, std::move(contents));
             });
}

void Controller::readThen(const std::filesystem::path& path, Opened next) {
    if (opening()) {
        m_dialogs.beep();
        return;
    }
    m_opener->read(path, [this, next = std::move(next)](const std::filesystem::path& file,
                                                        Result<dumpfile::Contents> loaded) {
        updateControls();
        if (loaded) {
            next(file, std::move(loaded.value()));
            return;
        }
        // Nothing of a file that cannot be taken whole is loaded; the window keeps its state.
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Wrong file format"),
            loaded.code() == dumpfile::kTooManyTracks
                ? QStringLiteral(
                      "BankShuttle supports only midi files with format 0 (single track).")
                : QStringLiteral("\"%1\" cannot be opened: %2")
                      .arg(QString::fromStdString(file.filename().string()),
                           sentence(loaded.error())));
    });
    updateControls();
}

void Controller::showOpened(const std::filesystem::path& file, dumpfile::Contents contents) {
    const QString path = QString::fromStdString(file.string()); // readable, if not UTF-8
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
    setUnsaved(false);
}
