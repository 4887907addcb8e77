// The controller's side of the library: the pane beside the event table, its menus, the
// folder setting, and opening a file from the list.
#include "Controller.h"
#include "LibraryPane.h"
#include "midifile/Library.h"
#include "midifile/LibrarySettings.h"
#include "ui_MainWindow.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTableView>

namespace {

// The box layout, among `layout` and those inside it, that holds `widget`.
QBoxLayout* rowOf(QLayout* layout, QWidget* widget) {
    if (layout == nullptr) {
        return nullptr;
    }
    if (layout->indexOf(widget) >= 0) {
        return qobject_cast<QBoxLayout*>(layout);
    }
    for (int i = 0; i < layout->count(); ++i) {
        if (QBoxLayout* found = rowOf(layout->itemAt(i)->layout(), widget)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

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
    connect(&m_library->reader(), &LibraryReader::held, this, &Controller::holderFound);
    QAction* hide = m_ui->menu_library->addAction(QStringLiteral("Hide &Duplicates"));
    hide->setObjectName(QStringLiteral("action_hide_duplicates"));
    hide->setCheckable(true);
    connect(hide, &QAction::toggled, m_library, &LibraryPane::setHideDuplicates);
    // In the MIDI menu and the pane's context menu; enabled with the selection.
    m_sendFiles = new QAction(QStringLiteral("Send Selected &Files..."), m_window.get());
    m_sendFiles->setObjectName(QStringLiteral("action_send_files"));
    m_sendFiles->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    m_ui->menu_midi->insertAction(m_ui->action_stop, m_sendFiles);
    m_library->table().addAction(m_sendFiles);
    connect(m_sendFiles, &QAction::triggered, this, &Controller::SendFilesDidPressed);
    connect(m_library->table().selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Controller::updateControls);
    // Receive into Library: the MIDI menu item and a button beside Receive.
    m_receiveMany = new QAction(QStringLiteral("Receive into &Library"), m_window.get());
    m_receiveMany->setObjectName(QStringLiteral("action_receive_many"));
    m_receiveMany->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+R")));
    m_ui->menu_midi->insertAction(m_ui->action_transmit, m_receiveMany);
    connect(m_receiveMany, &QAction::triggered, this, &Controller::ReceiveManyDidPressed);
    m_receiveManyButton = new QPushButton(QStringLiteral("Receive Many"));
    m_receiveManyButton->setObjectName(QStringLiteral("button_receive_many"));
    m_receiveManyButton->setToolTip(
        QStringLiteral("Receive dump after dump into the library folder until Stop"));
    if (QBoxLayout* row =
            rowOf(m_ui->button_receive->parentWidget()->layout(), m_ui->button_receive)) {
        row->insertWidget(row->indexOf(m_ui->button_receive) + 1, m_receiveManyButton);
    }
    connect(m_receiveManyButton, &QPushButton::clicked, this, &Controller::ReceiveManyDidPressed);
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
    if (settings.status() != QSettings::NoError) {
        // The window must not follow a folder that the command line and the next start would
        // not: the pane stays with the one they read.
        const std::filesystem::path kept = library::folder();
        m_dialogs.beep();
        m_dialogs.criticalAlert(
            m_window.get(), QStringLiteral("Library folder not changed"),
            QStringLiteral("The setting cannot be written to \"%1\". The library stays in "
                           "\"%2\", where the command line looks too.")
                .arg(QString::fromStdString(library::settingsFile().string()),
                     QString::fromStdString(kept.string())));
        m_library->setFolder(kept);
    } else {
        m_library->setFolder(folder);
    }
    m_lastFolder = libraryFolder();
}

void Controller::openFromLibrary(const std::filesystem::path& path) {
    if (m_state == kStateBusy) {
        m_dialogs.beep();
        return;
    }
    // Read first: a row that cannot be read leaves the loaded dump as it was.
    readThen(path, [this](const std::filesystem::path& file, dumpfile::Contents contents) {
        if (m_state == kStateLoaded) {
            if (!mayDropDump(QStringLiteral("Save the received dump before clearing it?"))) {
                return;
            }
            clear();
        }
        showOpened(file, std::move(contents));
    });
}

void Controller::ensureLibraryFolder() {
    if (m_lastFolder == libraryFolder()) {
        std::error_code error; // a folder that cannot be made: the panel says so itself
        std::filesystem::create_directories(m_library->folder(), error);
    }
}
