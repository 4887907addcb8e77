// The controller's side of the library: the pane beside the event table, its menus, the
// folder setting, and opening a file from the list.
#include "Controller.h"
#include "LibraryPane.h"
#include "midifile/Library.h"
#include "midifile/LibrarySettings.h"
#include "ui_MainWindow.h"

#include <QFileInfo>
#include <QSettings>
#include <QTableView>

void Controller::setUpLibrary() {
    m_library = new LibraryPane(m_window.get());
    m_window->addDockWidget(Qt::RightDockWidgetArea, m_library);
    QAction* show = m_library->toggleViewAction();
    show->setText(QStringLiteral("&Library"));
    m_ui->menu_view->addAction(show);
    connect(m_ui->action_choose_folder, &QAction::triggered, this,
            &Controller::chooseLibraryFolder);
    connect(m_ui->action_show_in_folder, &QAction::triggered, this, [this] {
        const QString file = m_library->currentFile();
        m_dialogs.showFolder(file.isEmpty() ? libraryFolder() : QFileInfo(file).absolutePath());
    });
    connect(m_library, &LibraryPane::openRequested, this, &Controller::openFromLibrary);
    m_lastFolder = QString::fromStdString(library::folder().string());
    m_library->setFolder(library::folder());
}

QString Controller::libraryFolder() const {
    return QString::fromStdString(m_library->folder().string());
}

void Controller::chooseLibraryFolder() {
    const std::optional<QString> chosen = m_dialogs.folderToUse(m_window.get(), libraryFolder());
    if (!chosen) {
        return;
    }
    const std::filesystem::path folder = QFileInfo(*chosen).absoluteFilePath().toStdString();
    // The program's only setting, in the file the command line reads too
    // (library::settingsFile()).
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("BankShuttle"),
                       QStringLiteral("BankShuttle"));
    settings.setValue(QString::fromLatin1(library::kFolderKey),
                      QString::fromStdString(library::encodeFolder(folder)));
    settings.sync();
    m_library->setFolder(folder);
    m_lastFolder = libraryFolder();
}

void Controller::openFromLibrary(const QString& path) {
    if (m_state == kStateBusy) {
        m_dialogs.beep();
        return;
    }
    if (m_state == kStateLoaded) {
        if (!mayDropDump(QStringLiteral("Save the received dump before clearing it?"))) {
            return;
        }
        clear();
    }
    openPath(path);
}

void Controller::ensureLibraryFolder() {
    if (m_lastFolder == libraryFolder()) {
        std::error_code error; // a folder that cannot be made: the panel says so itself
        std::filesystem::create_directories(m_library->folder(), error);
    }
}
