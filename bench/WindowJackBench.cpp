// The window over a running JACK server: how long a paced transmission really takes against
// the estimate its progress bar runs on, and how long after an instrument's last byte the
// window shows the received dump; for both, the longest time the window's event loop did not
// run, from the button to the end.
#include "Controller.h"
#include "QtBench.h"
#include "midifile/DumpFile.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/EventLoop.h"
#include "support/JackInstrument.h"
#include "support/Messages.h"
#include "ui_MainWindow.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

struct Rig {
    std::unique_ptr<JackMidiService> midi = JackMidiService::open("BankShuttle").valueOr(nullptr);
    std::unique_ptr<JackInstrument> instrument =
        JackInstrument::open("bench" + std::to_string(getpid()));
    NoDialogs dialogs;
    std::unique_ptr<Controller> controller;

    bool ready(benchmark::State& state) {
        if (!midi || !instrument) {
            state.SkipWithError("no JACK server (make bench starts one)");
            return false;
        }
        controller = std::make_unique<Controller>(*midi, dialogs);
        controller->awakeFromNib();
        Ui::MainWindow& ui = controller->ui();
        ui.popup_input->setCurrentIndex(
            ui.popup_input->findText(QString::fromStdString(instrument->name() + ": out")));
        ui.popup_output->setCurrentIndex(
            ui.popup_output->findText(QString::fromStdString(instrument->name() + ": in")));
        return true;
    }
};

// 100 messages of a starfell dump (paced at 0.3 s), 100 bytes each.
void BM_WindowTransmitAgainstEstimate(benchmark::State& state) {
    Rig rig;
    if (!rig.ready(state)) {
        return;
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("bankshuttle-bench-" + std::to_string(getpid()) + ".mid");
    Dump dump(100, midi::event(buffer(100, 0)));
    for (midi::event& e : dump) {
        const auto m = korvoMessage(0x77, 0x01, 100, 0x10);
        e.assign(m.begin(), m.end());
    }
    dumpfile::writeDumpFile(path.string(), dump, "", "", {}).ok();
    rig.controller->openPath(QString::fromStdString(path.string()));
    runUntil([&] { return !rig.controller->opening(); }, 60000);
    std::filesystem::remove(path);
    double ratio = 0.0;
    double estimate = 0.0;
    double longest = 0.0;
    for (auto _ : state) {
        const LoopStops stops;
        rig.controller->TransmitDidPressed();
        runUntil([&] { return rig.controller->ui().text_status->text() == "transmitting..."; },
                 10000);
        const auto start = Clock::now();
        estimate = rig.controller->progressMaximum() * Controller::kProgressTickMs / 1000.0;
        runUntil([&] { return rig.controller->state() == Controller::kStateLoaded; }, 120000);
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        ratio = took.count() / estimate;
        longest = std::max(longest, stops.longestMs());
    }
    state.counters["estimate_s"] = estimate;
    state.counters["ratio"] = ratio;
    state.counters["longest_stop_ms"] = longest;
}
BENCHMARK(BM_WindowTransmitAgainstEstimate)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// From the instrument's last byte to the window in the loaded state.
void BM_WindowReceiveLatency(benchmark::State& state) {
    Rig rig;
    if (!rig.ready(state)) {
        return;
    }
    const std::vector<std::vector<uint8_t>> dump(20, korvoMessage(0x38, 0x01, 500, 0x10));
    double longest = 0.0;
    for (auto _ : state) {
        rig.controller->ClearDidPresses();
        const LoopStops stops;
        rig.controller->ReceiveDidPressed();
        runUntil(
            [&] { return rig.controller->ui().text_status->text() == "waiting for sysex data..."; },
            10000);
        rig.instrument->play(dump);
        // Played out: JACK has taken the last message into a cycle.
        runUntil([&] { return rig.instrument->waitUntilPlayed(std::chrono::milliseconds(0)); },
                 10000);
        const auto lastByte = Clock::now();
        runUntil([&] { return rig.controller->state() == Controller::kStateLoaded; }, 10000);
        const std::chrono::duration<double> took = Clock::now() - lastByte;
        state.SetIterationTime(took.count());
        longest = std::max(longest, stops.longestMs());
    }
    state.counters["longest_stop_ms"] = longest;
}
BENCHMARK(BM_WindowReceiveLatency)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BANKSHUTTLE_QT_BENCHMARK_MAIN()
