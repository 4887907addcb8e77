#include "HexDumpModel.h"

#include "core/HexDump.h"

#include <QFontDatabase>

#include <climits>

HexDumpModel::HexDumpModel(buffer bytes, QObject* parent)
    : QAbstractListModel(parent), m_bytes(std::move(bytes)),
      m_font(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {}

int HexDumpModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(hexdump::lineCount(m_bytes.size()), INT_MAX));
}

QVariant HexDumpModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(hexdump::line(m_bytes, static_cast<std::size_t>(index.row())));
    case Qt::FontRole:
        return m_font;
    default:
        return {};
    }
}

QString HexDumpModel::allLines() const {
    return QString::fromLatin1(hexdump::lines(m_bytes));
}
