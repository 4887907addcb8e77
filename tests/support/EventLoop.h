#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

// Runs the Qt event loop until `done` holds or the time is up.
inline bool runUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void spin(int milliseconds) {
    runUntil([] { return false; }, milliseconds);
}
