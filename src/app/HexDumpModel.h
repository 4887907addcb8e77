#pragma once

#include "core/buffer.h"

#include <QAbstractListModel>
#include <QFont>

// The lines of a message's hex dump, made when a row is shown: a message of a megabyte opens
// at once, whatever its length.
class HexDumpModel final : public QAbstractListModel {
public:
    HexDumpModel(buffer bytes, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Every line, for the clipboard.
    QString allLines() const;

private:
    const buffer m_bytes;
    QFont m_font;
};
