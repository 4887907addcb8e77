#include "LibraryModel.h"

#include <QDateTime>
#include <QLocale>
#include <QPalette>

#include <map>
#include <set>

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int LibraryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const library::Entry& e = entry(index.row());
    const bool readable = !e.error;
    if (role == Qt::ForegroundRole && !readable) {
        return QPalette().color(QPalette::Disabled, QPalette::Text);
    }
    if (role == Qt::ToolTipRole) {
        return readable ? fromUtf8(e.path) : fromUtf8(e.path + " cannot be opened: " + *e.error);
    }
    if (role == Qt::TextAlignmentRole && (index.column() == kMessages || index.column() == kSize)) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != kSortRole) {
        return {};
    }
    const bool sorting = role == kSortRole;
    switch (index.column()) {
    case kName:
        return fromUtf8(e.path);
    case kType:
        return readable ? fromUtf8(e.dumpType) : fromUtf8("cannot be read: " + *e.error);
    case kMessages:
        if (sorting) {
            return readable ? qlonglong(e.messages) : qlonglong(-1);
        }
        return readable ? QLocale().toString(qulonglong(e.messages)) : QString();
    case kSize:
        return sorting ? QVariant(qulonglong(e.bytes)) : QLocale().toString(qulonglong(e.bytes));
    case kModified:
        if (sorting) {
            return qlonglong(e.modified);
        }
        return QDateTime::fromSecsSinceEpoch(e.modified)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    default:
        return {};
    }
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kTitles[] = {"Name", "Dump type", "Messages", "Size", "Modified"};
    return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

void LibraryModel::update(std::vector<library::Entry> entries) {
    if (m_entries.empty() || entries.empty()) {
        // All new or all gone: one reset, not a row at a time.
        beginResetModel();
        m_entries = std::move(entries);
        endResetModel();
        return;
    }
    std::map<std::string, const library::Entry*> incoming;
    for (const library::Entry& e : entries) {
        incoming.emplace(e.path, &e);
    }
    // Gone: removed from the end backwards, so the rows before keep their numbers.
    for (int row = rowCount() - 1; row >= 0; --row) {
        const auto it = incoming.find(entry(row).path);
        if (it == incoming.end()) {
            beginRemoveRows({}, row, row);
            m_entries.erase(m_entries.begin() + row);
            endRemoveRows();
        } else if (!(*it->second == entry(row))) {
            m_entries[static_cast<size_t>(row)] = *it->second;
            Q_EMIT dataChanged(index(row, 0), index(row, kColumns - 1));
        }
    }
    std::set<std::string> present;
    for (const library::Entry& e : m_entries) {
        present.insert(e.path);
    }
    std::vector<library::Entry> added;
    for (library::Entry& e : entries) {
        if (!present.contains(e.path)) {
            added.push_back(std::move(e));
        }
    }
    if (!added.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(m_entries));
        endInsertRows();
    }
}

LibraryFilter::LibraryFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(LibraryModel::kSortRole);
}

void LibraryFilter::setText(const QString& text) {
    m_text = text.trimmed();
    invalidateFilter();
}

bool LibraryFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    const QString& text = m_text;
    if (text.isEmpty()) {
        return true;
    }
    for (int column : {LibraryModel::kName, LibraryModel::kType}) {
        const QString value = sourceModel()->index(row, column, parent).data().toString();
        if (value.contains(text, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}
