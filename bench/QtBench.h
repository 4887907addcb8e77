#pragma once

// What the window benchmarks share: dialogs that never open, and a main with a QApplication
// on the offscreen platform unless another is asked for.
#include "UserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>

class NoDialogs final : public UserDialogs {
public:
    std::optional<QString> fileToRead(QWidget*, const QString&) override { return std::nullopt; }
    std::optional<QString> fileToWrite(QWidget*, const QString&) override { return std::nullopt; }
    std::optional<QString> folderToUse(QWidget*, const QString&) override { return std::nullopt; }
    void showFolder(const QString&) override {}
    void informationalAlert(QWidget*, const QString&, const QString&) override {}
    bool readyAlert(QWidget*, const QString&, const QString&) override { return true; }
    void criticalAlert(QWidget*, const QString&, const QString&) override {}
    Unsaved askToSave(QWidget*, const QString&) override { return Unsaved::discard; }
    void beep() override {}
    std::optional<int> seriesToSend(QWidget*, const QStringList&, const QString&, double) override {
        return 1;
    }
};

// While it lives and the event loop runs, the longest time the loop did not run: the longest
// gap between two ticks of a 1 ms timer. A window that stops for more than a frame (16 ms)
// stutters.
class LoopStops {
public:
    LoopStops() {
        m_clock.start();
        m_tick.setInterval(1);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_tick.start();
    }
    double longestMs() const { return static_cast<double>(m_longest); }

private:
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

#define BANKSHUTTLE_QT_BENCHMARK_MAIN()                                                            \
    int main(int argc, char** argv) {                                                              \
        setenv("QT_QPA_PLATFORM", "offscreen", 0);                                                 \
        QApplication app(argc, argv);                                                              \
        benchmark::Initialize(&argc, argv);                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }
