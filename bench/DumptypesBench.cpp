#include "dumptypes/KorvoDumptype.h"

#include <benchmark/benchmark.h>

namespace {

Dump makeDump(std::size_t messages, std::size_t size) {
    Dump dump(messages, midi::event(size, 0x42));
    for (midi::event& m : dump) {
        m[0] = 0xF0;
        m[1] = 0x31;
        m[2] = 0x0D;
        m[3] = 0x60;
        m[4] = 0x09;
        m.back() = 0xF7;
    }
    dump[1][3] = 0x38; // a sound bank: the one type that computes its title
    return dump;
}

// Identification reads only the first two messages, so its cost must not grow with the dump.
void BM_IdentifyAndTitle(benchmark::State& state) {
    const Dump dump = makeDump(static_cast<std::size_t>(state.range(0)), 256);
    for (auto _ : state) {
        auto type = identifyDump(&dump);
        benchmark::DoNotOptimize(type->title().data());
    }
}
BENCHMARK(BM_IdentifyAndTitle)->Arg(2)->Arg(10000);

// What the event table asks of a large dump: every row's header text.
void BM_HeaderTextAllRows(benchmark::State& state) {
    const Dump dump = makeDump(static_cast<std::size_t>(state.range(0)), 64);
    auto type = identifyDump(&dump);
    for (auto _ : state) {
        for (std::size_t row = 0; row < type->eventCount(); ++row) {
            benchmark::DoNotOptimize(type->headerText(row, 5).data());
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HeaderTextAllRows)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
