// A library of 1,000 backups (in 10 subfolders, .syx and .mid, 10 messages each): how long
// the command line's listing takes, how long the window's pane takes to fill, and the longest
// time the window's event loop does not run while it fills (it should stay under 50 ms).
#include "Controller.h"
#include "LibraryPane.h"
#include "QtBench.h"
#include "midifile/DumpFiles.h"
#include "midifile/Library.h"
#include "midiinterface/virtual/VirtualMidiService.h"
#include "support/Messages.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kFiles = 1000;

const TempDir& library1000() {
    static const TempDir made;
    static const bool filled = [] {
        for (int i = 0; i < kFiles; ++i) {
            const std::filesystem::path sub = made.path() / ("2026-" + std::to_string(i % 10));
            std::filesystem::create_directories(sub);
            Dump dump;
            for (uint8_t m = 0; m < 10; ++m) {
                const auto bytes = korvoMessage(0x38, 0x01, 200 + i, m);
                dump.push_back(midi::event(buffer(bytes.begin(), bytes.end())));
            }
            const std::string name = "backup " + std::to_string(i) + (i % 2 ? ".mid" : ".syx");
            static_cast<void>(storeDump((sub / name).string(), dump, "", "", {}));
        }
        return true;
    }();
    static_cast<void>(filled);
    return made;
}

void CommandLineListing(benchmark::State& state) {
    const TempDir& dir = library1000();
    std::size_t files = 0;
    for (auto _ : state) {
        files = library::read(dir.path()).value().size();
    }
    state.counters["files"] = static_cast<double>(files);
}
BENCHMARK(CommandLineListing)->Unit(benchmark::kMillisecond);

void WindowFillsThePane(benchmark::State& state) {
    const TempDir& dir = library1000();
    VirtualMidiService midi;
    NoDialogs dialogs;
    Controller controller(midi, dialogs);
    controller.awakeFromNib();
    LibraryPane& pane = controller.library();
    double longest = 0.0, filled = 0.0;
    for (auto _ : state) {
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, static_cast<double>(now - last));
            last = now;
            if (pane.model().rowCount() == kFiles || now > 60'000) {
                filled = static_cast<double>(now);
                loop.quit();
            }
        });
        tick.start();
        pane.setFolder(dir.path());
        loop.exec();
    }
    state.counters["filled_ms"] = filled;
    state.counters["longest_gap_ms"] = longest;
}
BENCHMARK(WindowFillsThePane)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BANKSHUTTLE_QT_BENCHMARK_MAIN()
