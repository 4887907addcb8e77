#pragma once

#include "LibraryModel.h"
#include "LibraryReader.h"

#include <QDockWidget>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QTableView;

// The library beside the event table: every dump file in the library folder and its
// subfolders with what it holds, newest first, sortable by every column, with a filter on
// name and type. It follows the folder: what appears, changes, is renamed or goes shows
// within a second. Reading, watching, sorting and filtering happen off the window's thread
// (LibraryReader); the window only swaps in the rows, keeping the chosen file and the scroll.
class LibraryPane : public QDockWidget {
    Q_OBJECT

public:
    explicit LibraryPane(QWidget* parent = nullptr);

    void setFolder(const std::filesystem::path& folder);
    const std::filesystem::path& folder() const { return m_folder; }
    // Looks again now (after this program wrote into the folder).
    void rescan() { m_reader.rescan(); }
    // Selects (and shows) the file at `path` (relative) once a listing holds it.
    void selectWhenListed(std::string path) { m_selectWhenListed = std::move(path); }
    // Leaves out (or shows again) the files whose backup an older file holds.
    void setHideDuplicates(bool hide);
    // Which file already holds `dump`'s backup: LibraryReader::held answers.
    LibraryReader& reader() { return m_reader; }
    // The selected files in the order the pane shows them: each file's path as the file system
    // has it, and its name as the pane shows it.
    std::vector<std::pair<std::filesystem::path, QString>> selectedFiles() const;
    // The chosen row's file (absolute), or "" when none is chosen.
    QString currentFile() const;

    QTableView& table() { return *m_table; }
    QLineEdit& filter() { return *m_filter; }
    LibraryModel& model() { return m_model; }
    // How many listings have arrived since the folder was set: for tests and benchmarks.
    int listings() const { return m_listings; }

Q_SIGNALS:
    // Double-click or Enter on a row: the file's path as the file system has it.
    void openRequested(const std::filesystem::path& path);

private:
    void listed(const LibraryReader::Rows& rows, const QString& note,
                const LibraryReader::Places& places);
    // Which rows are selected, one flag a row: from the selection's ranges, never row by row.
    std::vector<char> selectedFlags() const;
    void arrange();

    std::filesystem::path m_folder;
    LibraryModel m_model;
    LibraryReader m_reader;
    int m_sortColumn = LibraryModel::kModified;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    bool m_hideDuplicates = false;
    std::string m_selectWhenListed;
    QLineEdit* m_filter = nullptr;
    QLabel* m_note = nullptr;
    QTableView* m_table = nullptr;
    int m_listings = 0;
    uint64_t m_shown = 0; // the reader's number for the listing shown
};
