// Opening a file of 100,000 messages in the window and showing its table.
#include "Controller.h"
#include "QtBench.h"
#include "midifile/DumpFile.h"
#include "midiinterface/virtual/VirtualMidiService.h"
#include "support/EventLoop.h"

#include <QApplication>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace {

void BM_OpenAndShowLargeDump(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("bankshuttle-window-bench-" + std::to_string(getpid()) + ".mid");
    Dump dump(static_cast<std::size_t>(state.range(0)), midi::event(buffer(64, 0x10)));
    for (midi::event& m : dump) {
        m[0] = 0xF0;
        m[1] = 0x31;
        m[3] = 0x38;
        m.back() = 0xF7;
    }
    dumpfile::writeDumpFile(path.string(), dump, "bench", "", {}).ok();

    VirtualMidiService midi;
    NoDialogs dialogs;
    for (auto _ : state) {
        Controller controller(midi, dialogs);
        controller.awakeFromNib();
        controller.window().show();
        controller.openPath(QString::fromStdString(path.string()));
        runUntil([&] { return !controller.opening(); }, 60000); // read off the window's thread
        // Lays out and paints the window with its table, as the screen would show it.
        const QPixmap shown = controller.window().grab();
        benchmark::DoNotOptimize(shown.cacheKey());
        if (controller.dump().size() != dump.size()) {
            state.SkipWithError("the dump did not open whole");
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenAndShowLargeDump)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BANKSHUTTLE_QT_BENCHMARK_MAIN()
