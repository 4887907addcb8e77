// Over a running JACK server: recording a dump sent back to back, and how close a
// transmission's duration comes to its estimate (the sum of the offsets plus one cable byte
// time, 320 µs, per byte).
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/JackInstrument.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Setup {
    std::unique_ptr<JackMidiService> service =
        JackMidiService::open("BankShuttle").valueOr(nullptr);
    std::unique_ptr<JackInstrument> instrument =
        JackInstrument::open("bench" + std::to_string(getpid()));
    MIDIClientRef client = 0;

    bool ready(benchmark::State& state) {
        if (!service || !instrument) {
            state.SkipWithError("no JACK server (make bench starts one)");
            return false;
        }
        if (service->clientCreate("BankShuttle", nullptr, nullptr, &client) != MidiStatus::ok) {
            state.SkipWithError("the JACK service refused a client");
            return false;
        }
        return true;
    }
};

void BM_JackRecordBackToBack(benchmark::State& state) {
    Setup setup;
    if (!setup.ready(state)) {
        return;
    }
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<std::vector<uint8_t>> messages(count, std::vector<uint8_t>(256, 0x11));
    for (auto& m : messages) {
        m.front() = 0xF0;
        m.back() = 0xF7;
    }
    const MIDIEndpointRef source =
        TQMidiInterfaceReceiver::SourceNamed(*setup.service, setup.instrument->name() + ": out");
    std::size_t recorded = 0;
    for (auto _ : state) {
        TQMidiInterfaceReceiver receiver(*setup.service, setup.client, source);
        Dump dump;
        receiver.recordOn(dump);
        setup.instrument->play(messages);
        receiver.waitForRecordOffWithTimeout(5);
        recorded = dump.size();
    }
    state.counters["sent"] = static_cast<double>(count);
    state.counters["recorded"] = static_cast<double>(recorded);
    state.counters["lost"] = static_cast<double>(count - recorded);
    if (recorded != count) {
        state.SkipWithError("messages were lost");
    }
}
BENCHMARK(BM_JackRecordBackToBack)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond);

// range(0): messages of 100 bytes; range(1): offset in milliseconds.
void BM_JackTransmitAccuracy(benchmark::State& state) {
    Setup setup;
    if (!setup.ready(state)) {
        return;
    }
    const double offset = static_cast<double>(state.range(1)) / 1000.0;
    Dump dump(static_cast<std::size_t>(state.range(0)), midi::event(buffer(100, 0x22), offset));
    for (auto& m : dump) {
        m.front() = 0xF0;
        m.back() = 0xF7;
    }
    double estimate = 0;
    for (const auto& m : dump) {
        estimate += m.m_offset + 320e-6 * static_cast<double>(m.size());
    }
    const MIDIEndpointRef destination = TQMidiInterfaceTransmitter::DestinationNamed(
        *setup.service, setup.instrument->name() + ": in");
    TQMidiInterfaceTransmitter transmitter(*setup.service, setup.client, destination);
    double ratio = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        transmitter.transmitDump(dump);
        while (transmitter.isStillTransmitting()) {
            std::this_thread::sleep_for(1ms);
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        ratio = took.count() / estimate;
    }
    state.counters["estimate_s"] = estimate;
    state.counters["ratio"] = ratio;
    state.counters["refused"] = static_cast<double>(transmitter.refusedCount());
}
BENCHMARK(BM_JackTransmitAccuracy)
    ->Args({200, 0})
    ->Args({200, 300})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
