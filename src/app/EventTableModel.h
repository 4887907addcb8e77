#pragma once

#include "dumptypes/KorvoDumptype.h"

#include <QAbstractTableModel>
#include <QFont>

#include <memory>

// The event table: one row per message of the dump, read through the dump type, so the rows
// are never copied. Columns: "No" (the row, from 0), "Header" (the first five bytes in hex),
// "Size" (bytes).
class EventTableModel final : public QAbstractTableModel {
public:
    enum Column { kNo, kHeader, kSize, kColumns };

    EventTableModel(const std::unique_ptr<KorvoDumptype>& type, QObject* parent);

    // After the dump or its type changed.
    void reloadData();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const std::unique_ptr<KorvoDumptype>& m_type;
    QFont m_headerFont; // built once: data() runs for every visible cell on every paint
};
