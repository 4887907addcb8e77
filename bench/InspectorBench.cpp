// Opening the message inspector on a message of 1 MB, as far as its first paint.
#include "MessageInspector.h"
#include "QtBench.h"

#include <QPixmap>

#include <benchmark/benchmark.h>

namespace {

void BM_OpenInspectorOnLargeMessage(benchmark::State& state) {
    midi::event message(buffer(static_cast<std::size_t>(state.range(0)), 0x41));
    message.front() = 0xF0;
    message[1] = 0x31;
    message[3] = 0x77;
    message[4] = 0x10;
    message.back() = 0xF7;
    const Dump dump{message};
    const auto type = identifyDump(&dump);
    for (auto _ : state) {
        MessageInspector inspector(dump, *type, 0, nullptr);
        inspector.show();
        // Lays out and paints it with its hex dump, as the screen would show it.
        const QPixmap shown = inspector.grab();
        benchmark::DoNotOptimize(shown.cacheKey());
    }
}
BENCHMARK(BM_OpenInspectorOnLargeMessage)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Copy of the same message: the whole hex dump as text.
void BM_HexDumpOfLargeMessage(benchmark::State& state) {
    const midi::event message(buffer(static_cast<std::size_t>(state.range(0)), 0x41));
    const Dump dump{message};
    const auto type = identifyDump(&dump);
    MessageInspector inspector(dump, *type, 0, nullptr);
    for (auto _ : state) {
        benchmark::DoNotOptimize(inspector.hexDump().size());
    }
}
BENCHMARK(BM_HexDumpOfLargeMessage)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BANKSHUTTLE_QT_BENCHMARK_MAIN()
