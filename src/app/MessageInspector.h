#pragma once

#include "core/event.h"
#include "dumptypes/KorvoDumptype.h"

#include <QWidget>

class HexDumpModel;
class QListView;

// A window of its own on one message of the dump: its decoded header, its size and pause,
// and every byte as a hex dump. It keeps a copy of the message, so the dump may change or
// go while it is open; several may be open at once, none of them modal.
class MessageInspector final : public QWidget {
public:
    // Message `index` of `dump`, read as `type` (the dump's own) reads it.
    MessageInspector(const Dump& dump, const KorvoDumptype& type, std::size_t index,
                     QWidget* parent);

    // The hex dump onto the clipboard.
    void copy() const;
    QString hexDump() const;
    QListView& lines() { return *m_lines; }

private:
    HexDumpModel* m_model; // owned as a child
    QListView* m_lines;
};
