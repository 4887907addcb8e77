#pragma once

#include "LibraryReader.h"

#include <QAbstractTableModel>

#include <vector>

// The library's files as table rows, in the order and under the filter that the reader
// arranged off the window's thread: name (with its subfolder), dump type, messages, size, date
// modified. A file that cannot be read is a greyed row with the reason in place of its type.
// Taking new rows is a swap and a reset, whatever their number.
class LibraryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        kName = LibraryReader::kName,
        kType = LibraryReader::kType,
        kMessages = LibraryReader::kMessages,
        kSize = LibraryReader::kSize,
        kModified = LibraryReader::kModified,
        kSameAs = LibraryReader::kSameAs, // the older file that holds the same backup
        kColumns
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A click on a header: the reader sorts (sortRequested), the rows follow when it is done.
    void sort(int column, Qt::SortOrder order) override;

    void setRows(LibraryReader::Rows rows);
    const library::Entry& entry(int row) const { return *m_rows.at(static_cast<size_t>(row)); }
    // The row of the file at `path` (relative), or -1.
    int rowOf(const std::string& path) const;

Q_SIGNALS:
    void sortRequested(int column, Qt::SortOrder order);

private:
    LibraryReader::Rows m_rows;
};
