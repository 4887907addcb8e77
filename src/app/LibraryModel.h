#pragma once

#include "midifile/Library.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

// The library's files as table rows: name (with its subfolder), dump type, messages, size,
// date modified. A file that cannot be read is a greyed row with the reason in place of its
// type. Rows follow each new listing without being made anew, so a selection stays put.
class LibraryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kName, kType, kMessages, kSize, kModified, kColumns };
    // What a column sorts by: numbers as numbers, dates as dates.
    static constexpr int kSortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes a new listing: rows that went are removed, new ones added, changed ones updated.
    void update(std::vector<library::Entry> entries);
    const library::Entry& entry(int row) const { return m_entries.at(static_cast<size_t>(row)); }

private:
    std::vector<library::Entry> m_entries;
};

// Sorts by LibraryModel::kSortRole and keeps the rows whose name or type holds the filter.
class LibraryFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit LibraryFilter(QObject* parent = nullptr);
    void setText(const QString& text);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    QString m_text;
};
