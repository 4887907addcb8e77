#include "DropFilter.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

QString droppedDumpFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) {
        return {};
    }
    const QUrl url = data->urls().constFirst();
    const QString path = url.toLocalFile();
    if (!url.isLocalFile() || !(path.endsWith(QStringLiteral(".mid"), Qt::CaseInsensitive) ||
                                path.endsWith(QStringLiteral(".syx"), Qt::CaseInsensitive))) {
        return {};
    }
    return path;
}

DropFilter::DropFilter(QWidget* window, std::function<bool()> accepting,
                       std::function<void(const QString&)> open)
    : QObject(window), m_accepting(std::move(accepting)), m_open(std::move(open)) {
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool DropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (m_accepting() && !droppedDumpFile(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = droppedDumpFile(drop->mimeData());
        if (!m_accepting() || path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        m_open(path);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
