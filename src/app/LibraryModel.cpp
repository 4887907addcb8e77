#include "LibraryModel.h"

#include <QDateTime>
#include <QLocale>
#include <QPalette>

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
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
        if (!readable) {
            return fromUtf8(e.path + " cannot be opened: " + *e.error);
        }
        return e.sameAs ? fromUtf8(e.path + ": same as " + *e.sameAs) : fromUtf8(e.path);
    }
    if (role == Qt::TextAlignmentRole && (index.column() == kMessages || index.column() == kSize)) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case kName:
        return fromUtf8(e.path);
    case kType:
        return LibraryReader::typeText(e);
    case kMessages:
        return readable ? QLocale().toString(qulonglong(e.messages)) : QString();
    case kSize:
        return QLocale().toString(qulonglong(e.bytes));
    case kSameAs:
        return e.sameAs ? fromUtf8(*e.sameAs) : QString();
    case kModified:
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
    static const char* const kTitles[] = {"Name", "Dump type", "Messages",
                                          "Size", "Modified",  "Same as"};
    return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

void LibraryModel::sort(int column, Qt::SortOrder order) {
    Q_EMIT sortRequested(column, order);
}

void LibraryModel::setRows(LibraryReader::Rows rows) {
    beginResetModel();
    m_rows.swap(rows);
    endResetModel();
    // The old rows go after the view has let go of them.
}

int LibraryModel::rowOf(const std::string& path) const {
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row]->path == path) {
            return static_cast<int>(row);
        }
    }
    return -1;
}
