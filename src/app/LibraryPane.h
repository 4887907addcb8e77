#pragma once

#include "LibraryModel.h"
#include "LibraryReader.h"

#include <QDockWidget>
#include <QFileSystemWatcher>
#include <QTimer>

#include <filesystem>

class QLabel;
class QLineEdit;
class QTableView;

// The library beside the event table: every dump file in the library folder and its
// subfolders with what it holds, newest first, sortable by every column, with a filter on
// name and type. It follows the folder: what appears, changes, is renamed or goes shows
// within a second. Files are read off the window's thread (LibraryReader).
class LibraryPane : public QDockWidget {
    Q_OBJECT

public:
    explicit LibraryPane(QWidget* parent = nullptr);

    void setFolder(const std::filesystem::path& folder);
    const std::filesystem::path& folder() const { return m_folder; }
    // Looks again now (after this program wrote into the folder).
    void rescan() { m_reader.rescan(); }
    // The chosen row's file (absolute), or "" when none is chosen.
    QString currentFile() const;

    QTableView& table() { return *m_table; }
    QLineEdit& filter() { return *m_filter; }
    LibraryModel& model() { return m_model; }
    // How many listings have arrived since the folder was set: for tests and benchmarks.
    int listings() const { return m_listings; }

Q_SIGNALS:
    // Double-click or Enter on a row.
    void openRequested(const QString& path);

private:
    void listed(const std::vector<library::Entry>& entries, const QStringList& folders,
                const QString& error);
    void watch(QStringList paths);

    std::filesystem::path m_folder;
    LibraryModel m_model;
    LibraryFilter m_proxy;
    LibraryReader m_reader;
    QFileSystemWatcher m_watcher;
    QTimer m_settle; // changes close together make one look
    QLineEdit* m_filter = nullptr;
    QLabel* m_note = nullptr;
    QTableView* m_table = nullptr;
    int m_listings = 0;
};
