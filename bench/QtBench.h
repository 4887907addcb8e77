#pragma once

// What the window benchmarks share: dialogs that never open, and a main with a QApplication
// on the offscreen platform unless another is asked for.
#include "UserDialogs.h"

#include <QApplication>

#include <benchmark/benchmark.h>

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
