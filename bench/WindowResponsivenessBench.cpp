// How long the window's event loop is ever kept from running during a Receive and a Transmit
// (virtual MIDI service, offscreen), and while a big file opens: the longest gap between two
// passes of the loop, from the press of the button until the window is idle again. It should
// stay under 50 ms. And how soon Stop ends a Receive.
#include "Controller.h"
#include "QtBench.h"
#include "midiinterface/virtual/VirtualMidiService.h"
#include "support/Messages.h"
#include "ui_MainWindow.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

const MidiServiceBase::EndpointId kSynthOut{"KoRvO", "Synth out"};
const MidiServiceBase::EndpointId kSynthIn{"KoRvO", "Synth in"};

// Runs the event loop until `done` holds; returns the longest gap between two ticks of a 1 ms
// timer, in ms: how long the window could not have answered a key or repainted.
template <class Done>
double longestGapUntil(Done done) {
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (done() || now > 60'000) {
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    return static_cast<double>(longest);
}

void ReceiveAndTransmit(benchmark::State& state) {
    VirtualMidiService midi;
    midi.addSource(kSynthOut);
    midi.addDestination(kSynthIn);
    NoDialogs dialogs;
    Controller controller(midi, dialogs);
    controller.awakeFromNib();
    std::vector<uint8_t> stream;
    for (uint8_t i = 0; i < 20; ++i) {
        const auto m = korvoMessage(0x38, 0x01, 500, i);
        stream.insert(stream.end(), m.begin(), m.end());
    }
    double receiving = 0.0, transmitting = 0.0;
    for (auto _ : state) {
        controller.ClearDidPresses();
        midi.playBytes(kSynthOut, stream, 256, std::chrono::milliseconds(1500));
        controller.ReceiveDidPressed();
        receiving = std::max(receiving, longestGapUntil([&] {
                                 return controller.state() == Controller::kStateLoaded;
                             }));
        controller.TransmitDidPressed();
        const double opening =
            longestGapUntil([&] { return controller.state() == Controller::kStateBusy; });
        transmitting = std::max({transmitting, opening, longestGapUntil([&] {
                                     return controller.state() == Controller::kStateLoaded;
                                 })});
    }
    state.counters["receive_longest_gap_ms"] = receiving;
    state.counters["transmit_longest_gap_ms"] = transmitting;
}
BENCHMARK(ReceiveAndTransmit)->Iterations(2)->Unit(benchmark::kSecond);

// A 32 MB .syx (1,024 messages of 32 KB), an operating system's size: read off the window's thread.
void OpenABigFile(benchmark::State& state) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("bankshuttle-bench-" + std::to_string(getpid()) + ".syx");
    {
        std::ofstream file(path, std::ios::binary);
        for (int i = 0; i < 1024; ++i) {
            const auto m = korvoMessage(0x38, 0x01, 32768, static_cast<uint8_t>(i % 0x80));
            file.write(reinterpret_cast<const char*>(m.data()),
                       static_cast<std::streamsize>(m.size()));
        }
    }
    VirtualMidiService midi;
    NoDialogs dialogs;
    Controller controller(midi, dialogs);
    controller.awakeFromNib();
    double longest = 0.0;
    for (auto _ : state) {
        controller.ClearDidPresses();
        controller.openPath(QString::fromStdString(path.string()));
        longest = std::max(longest, longestGapUntil([&] { return !controller.opening(); }));
        if (controller.dump().size() != 1024) {
            state.SkipWithError("the file did not open whole");
        }
    }
    std::filesystem::remove(path);
    state.counters["open_longest_gap_ms"] = longest;
}
BENCHMARK(OpenABigFile)->Iterations(3)->Unit(benchmark::kMillisecond);

// How soon a Stop ends a Receive: while it waits for the first byte, and inside a dump that
// trickles in over seconds; from the press until the window is idle again.
void StopAReceive(benchmark::State& state) {
    VirtualMidiService midi;
    midi.addSource(kSynthOut);
    NoDialogs dialogs;
    Controller controller(midi, dialogs);
    controller.awakeFromNib();
    auto* status = controller.window().findChild<QLabel*>(QStringLiteral("text_status"));
    const auto stopAfter = [&](const QString& shown) {
        controller.ReceiveDidPressed();
        longestGapUntil([&] { return status->text() == shown; });
        QElapsedTimer clock;
        clock.start();
        controller.StopDidPressed();
        longestGapUntil([&] { return controller.state() == Controller::kStateEmpty; });
        return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    };
    double waiting = 0.0, recording = 0.0;
    for (auto _ : state) {
        waiting = std::max(waiting, stopAfter(QStringLiteral("waiting for sysex data...")));
        const auto m = korvoMessage(0x38, 0x01, 4000, 1);
        for (std::size_t at = 0; at < m.size(); at += 100) {
            midi.playBytes(kSynthOut,
                           {m.begin() + static_cast<long>(at),
                            m.begin() + static_cast<long>(std::min(at + 100, m.size()))},
                           100, std::chrono::milliseconds(at == 0 ? 1500 : 100));
        }
        recording = std::max(recording, stopAfter(QStringLiteral("recording...")));
        midi.waitUntilPlayed();
    }
    state.counters["stop_while_waiting_ms"] = waiting;
    state.counters["stop_inside_a_dump_ms"] = recording;
}
BENCHMARK(StopAReceive)->Iterations(3)->Unit(benchmark::kSecond);

} // namespace

BANKSHUTTLE_QT_BENCHMARK_MAIN()
