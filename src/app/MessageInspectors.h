#pragma once

#include "core/event.h"
#include "dumptypes/KorvoDumptype.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class MessageInspector;
class QTableView;

// Opens an inspector on a row of the event table at a double-click or Enter, and closes them
// all when the dump they were opened on is replaced.
class MessageInspectors final : public QObject {
public:
    MessageInspectors(QTableView& table, const Dump& dump,
                      const std::unique_ptr<KorvoDumptype>& type);

    // The inspector of message `row`, shown; null for a row the dump does not have.
    MessageInspector* open(int row);
    void closeAll();
    // The ones still open.
    QList<MessageInspector*> openOnes() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView& m_table;
    const Dump& m_dump;
    const std::unique_ptr<KorvoDumptype>& m_type;
    QList<QPointer<MessageInspector>> m_open;
};
