#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Lets a window take one dump file (.mid or .syx) dropped on it, whenever `accepting` says
// so; every other drop is refused, which the desktop shows with its usual cursor.
class DropFilter : public QObject {
public:
    DropFilter(QWidget* window, std::function<bool()> accepting,
               std::function<void(const QString&)> open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> m_accepting;
    std::function<void(const QString&)> m_open;
};

// The one local .mid or .syx file of a drop, or "".
QString droppedDumpFile(const class QMimeData* data);
