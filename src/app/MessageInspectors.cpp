#include "MessageInspectors.h"

#include "MessageInspector.h"

#include <QKeyEvent>
#include <QTableView>

MessageInspectors::MessageInspectors(QTableView& table, const Dump& dump,
                                     const std::unique_ptr<KorvoDumptype>& type)
    : QObject(&table), m_table(table), m_dump(dump), m_type(type) {
    connect(&table, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { open(index.row()); });
    table.installEventFilter(this);
}

MessageInspector* MessageInspectors::open(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_dump.size()) {
        return nullptr;
    }
    auto* inspector =
        new MessageInspector(m_dump, *m_type, static_cast<std::size_t>(row), m_table.window());
    m_open.removeAll(nullptr);
    m_open.append(inspector);
    inspector->show();
    return inspector;
}

void MessageInspectors::closeAll() {
    for (const QPointer<MessageInspector>& inspector : std::as_const(m_open)) {
        if (inspector) {
            inspector->close();
        }
    }
    m_open.clear();
}

QList<MessageInspector*> MessageInspectors::openOnes() const {
    QList<MessageInspector*> open;
    for (const QPointer<MessageInspector>& inspector : m_open) {
        if (inspector) {
            open.append(inspector.data());
        }
    }
    return open;
}

bool MessageInspectors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_table.currentIndex().isValid()) {
            open(m_table.currentIndex().row());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
