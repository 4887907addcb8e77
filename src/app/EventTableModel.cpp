#include "EventTableModel.h"

#include <QFontDatabase>

#include <climits>

EventTableModel::EventTableModel(const std::unique_ptr<KorvoDumptype>& type, QObject* parent)
    : QAbstractTableModel(parent), m_type(type),
      m_headerFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
    m_headerFont.setStyleHint(QFont::Monospace); // where the platform names no fixed font
}

void EventTableModel::reloadData() {
    beginResetModel();
    endResetModel();
}

int EventTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_type) {
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(m_type->eventCount(), INT_MAX));
}

int EventTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant EventTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_type || index.row() < 0) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::FontRole && index.column() == kHeader) {
        return m_headerFont;
    }
    if (role == Qt::TextAlignmentRole && index.column() != kHeader) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case kNo:
        return index.row();
    case kHeader: {
        const std::string_view text = m_type->headerText(row, 5);
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case kSize:
        return static_cast<qulonglong>(m_type->eventLength(row));
    }
    return {};
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case kNo:
        return QStringLiteral("No");
    case kHeader:
        return QStringLiteral("Header");
    case kSize:
        return QStringLiteral("Size");
    }
    return {};
}
