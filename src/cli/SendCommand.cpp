// send: one dump file, or a series of them to one instrument, as the window's Transmit and
// Send Selected Files do it (src/transfer), worded for a terminal and scripts.
#include "Commands.h"

#include "Arguments.h"
#include "Interruption.h"
#include "PortChoice.h"
#include "core/MidiConstants.h"
#include "dumptypes/DumpRules.h"
#include "midifile/DumpFiles.h"
#include "transfer/SendPlan.h"
#include "transfer/TransferReport.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>

namespace cli {

namespace {

using namespace std::chrono_literals;

// How often `send` looks at the transmitter and redraws its bar.
constexpr auto kPoll = 40ms;
// How often the prompt looks whether Ctrl+C came.
constexpr auto kPromptPoll = 20ms;
// How long a second Ctrl+C waits for an open message to be closed before the program ends.
constexpr auto kCloseLimit = 200ms;
// The pause between two files of a series, in seconds: the default and the longest.
constexpr unsigned long kDefaultBetween = 1;
constexpr unsigned long kMaxBetween = 600;

const char* const kSendHelp = R"(usage: bankshuttle-cli send FILE... --output PORT [options]

Sends dump files (.mid or .syx) to an instrument on PORT: All Notes Off on every channel,
then for each file the instrument's instruction and a prompt to press Enter (once for a run of
files that need the same one), then its messages one at a time with the pauses the model
needs, and a pause between files. Every file is read and checked before anything is sent: one
that cannot be sent refuses the whole series.
  --output PORT      index or part of the name of a MIDI output (see "ports")
  --channel N        MIDI channel 1-16 written into dumps that carry one (default 1)
  --pause MS         wait at least MS milliseconds (0-10000) before every message after the
                     first, for instruments, interfaces and cables that drop data at full
                     rate; a longer pause the model needs is kept (default 0)
  --rate BYTES_PER_SECOND
                     hand every byte over no faster than this (10-3125), All Notes Off
                     included, for interfaces that drop bytes of long messages (default:
                     full speed, 3125); ALSA only: JACK sends a message in one piece
  --between SECONDS  the pause between two files (0-600, default 1)
  --yes              do not wait for Enter (nor does a run whose input is not a terminal)
Exits 0 only when every file was sent whole; 130 after Ctrl+C.
)";

// "[#######-------]  52%  12 s left" on one line of a terminal.
void showProgress(double done, double total) {
    const double share = total > 0 ? std::min(1.0, done / total) : 1.0;
    const int width = 30;
    const int filled = static_cast<int>(share * width);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '-');
    std::fprintf(stderr, "\r[%s] %3d%%  %4.0f s left ", bar.c_str(), static_cast<int>(share * 100),
                 std::max(0.0, total - done));
    std::fflush(stderr);
}

// Waits for Enter on the terminal, or for `stopped` (Ctrl+C): the signal may reach another
// thread than this one, whose read would then never end. False when stopped, or at the
// input's end.
bool enterPressed(const std::function<bool()>& stopped) {
    for (;;) {
        if (stopped()) {
            return false;
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, static_cast<int>(kPromptPoll.count()));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        // A terminal hands over a whole line at once: reading it up to its end never waits.
        char byte = 0;
        ssize_t n = 0;
        while ((n = read(STDIN_FILENO, &byte, 1)) == 1 && byte != '\n') {
        }
        if (n == 1) {
            return !stopped();
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

// What the command says of one file of the series; its plan goes to the session.
struct Planned {
    std::string path;
    std::string title;
    std::string instruction;
    std::size_t messages = 0;
    double estimateSeconds = 0.0;
};

} // namespace

int send(const std::vector<std::string>& words, const MidiOpener& openMidi) {
    if (wantsHelp(words)) {
        std::cout << kSendHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {"output", "channel", "pause", "rate", "between"}, {"yes"},
                    {{"o", "output"}, {"y", "yes"}})) {
        return usage(args.error(), kSendHelp);
    }
    if (args.positional().empty() || !args.value("output")) {
        return usage("send takes FILE... and --output PORT", kSendHelp);
    }
    unsigned long channel = 1;
    if (const auto c = args.value("channel")) {
        channel = wholeNumber(*c, 2).value_or(0);
        if (channel < 1 || channel > 16) {
            return usage("--channel takes a MIDI channel from 1 to 16", kSendHelp);
        }
    }
    unsigned long pauseMs = 0;
    if (const auto p = args.value("pause")) {
        const auto ms = wholeNumber(*p, 5);
        if (!ms || *ms > static_cast<unsigned long>(dumprules::kMaxChosenPauseMs)) {
            return usage("--pause takes milliseconds from 0 to 10000", kSendHelp);
        }
        pauseMs = *ms;
    }
    uint32_t rate = midi::kFullSpeed;
    if (const auto r = args.value("rate")) {
        const auto bytesPerSecond = wholeNumber(*r, 4);
        if (!bytesPerSecond || *bytesPerSecond < midi::kSlowestSpeed ||
            *bytesPerSecond > midi::kCableSpeed) {
            return usage("--rate takes bytes per second from 10 to 3125", kSendHelp);
        }
        rate = static_cast<uint32_t>(*bytesPerSecond);
    }
    unsigned long between = kDefaultBetween;
    if (const auto b = args.value("between")) {
        const auto seconds = wholeNumber(*b, 3);
        if (!seconds || *seconds > kMaxBetween) {
            return usage("--between takes seconds from 0 to 600", kSendHelp);
        }
        between = *seconds;
    }
    const auto midi = openMidi();
    const SendChoices choices{static_cast<uint8_t>(channel - 1), static_cast<int>(pauseMs), rate};
    // Every file is read and planned before anything goes out; one refusal refuses them all.
    const bool series = args.positional().size() > 1;
    std::vector<Planned> files;
    std::vector<SendPlan> plans; // one copy of each dump as sent, the session's
    for (const std::string& path : args.positional()) {
        const Result<dumpfile::Contents> loaded = loadDump(path);
        if (!loaded) {
            return failed(path + ": " + loaded.error());
        }
        const Dump& dump = loaded->dump;
        if (dump.empty()) {
            return failed(path + ": the file holds no message to send");
        }
        const auto type = identifyDump(&dump);
        Result<SendPlan> plan = planSend(dump, *type, choices, *midi);
        if (!plan) {
            return shown(sendRefused(series ? path + ": " + plan.error() : plan.error()));
        }
        files.push_back({path, std::string(type->title()), std::string(type->transmitInstruction()),
                         plan->sending.size(), plan->estimateSeconds});
        plans.push_back(std::move(plan.value()));
    }
    const PortChoice port = choosePort(*midi, *args.value("output"), false);
    if (port.endpoint == 0) {
        return failed(port.error);
    }
    std::vector<TransmitSession::Result> results;
    {
        TransmitSession session(*midi, port.name, std::move(plans));
        // Ctrl+C ends the transmission at once, a message cut short closed with 0xF7; a second
        // one ends the program, once that closing byte has gone.
        const Interruption interruption(
            [&session] {
                session.stop();
                std::cerr << "\nstopping...\n";
            },
            [&session] { static_cast<void>(session.waitForEnd(kCloseLimit)); });
        // Checked before already; the MIDI system may still refuse (its server restarted).
        std::promise<std::string> opened;
        session.open([&opened] { opened.set_value({}); },
                     [&](std::size_t file, std::string why) {
                         opened.set_value(series ? files[file].path + ": " + why : why);
                     });
        if (std::string refused = opened.get_future().get(); !refused.empty()) {
            return shown(sendRefused(std::move(refused)));
        }
        const bool bar = isatty(STDERR_FILENO);
        for (std::size_t i = 0; i < files.size() && !session.stopRequested(); ++i) {
            const Planned& file = files[i];
            const double estimate = file.estimateSeconds;
            std::cerr << (series ? "file " + std::to_string(i + 1) + " of " +
                                       std::to_string(files.size()) + ": " + file.path + ": "
                                 : std::string())
                      << "sending " << file.title << " (" << file.messages << " messages, about "
                      << static_cast<int>(estimate + 0.5) << " s) to " << port.name << "\n";
            // A run of files that need the same instruction asks once.
            if (!file.instruction.empty() &&
                (i == 0 || file.instruction != files[i - 1].instruction)) {
                std::cout << file.instruction << "\n" << std::flush;
                if (!args.flag("yes") && isatty(STDIN_FILENO)) {
                    std::cout << "Press Enter when the instrument is ready..." << std::flush;
                    // Ctrl+C here: the send below answers at once, nothing of the dump sent.
                    static_cast<void>(enterPressed([&session] { return session.stopRequested(); }));
                }
            }
            std::promise<TransmitSession::Result> finished;
            auto done = finished.get_future();
            session.send([&finished](TransmitSession::Result r) { finished.set_value(r); },
                         i == 0 ? 0ms : std::chrono::milliseconds(between * 1000));
            const auto start = std::chrono::steady_clock::now();
            while (done.wait_for(kPoll) != std::future_status::ready) {
                if (bar) {
                    const std::chrono::duration<double> elapsed =
                        std::chrono::steady_clock::now() - start;
                    showProgress(elapsed.count(), estimate);
                }
            }
            results.push_back(done.get());
            const bool whole = sendReport(results.back()).ending == TransferReport::Ending::done;
            if (bar) {
                if (whole) {
                    showProgress(estimate, estimate);
                }
                std::fputc('\n', stderr);
            }
            if (!whole) {
                break; // a file not sent whole ends the series
            }
        }
    }
    std::vector<std::string> names;
    for (const Planned& file : files) {
        names.push_back(file.path);
    }
    if (!series) {
        TransmitSession::Result result = results.empty() ? TransmitSession::Result{} : results[0];
        if (results.empty()) {
            result.stopped = true; // Ctrl+C while opening: nothing was sent
            result.total = files[0].messages;
        }
        if (const TransferReport report = sendReport(result);
            report.ending != TransferReport::Ending::done) {
            return shown(report);
        }
        std::cout << "sent " << result.total << " messages to " << port.name << "\n";
        return kOk;
    }
    if (const TransferReport report = seriesReport(names, results);
        report.ending != TransferReport::Ending::done) {
        return shown(report);
    }
    std::cout << "sent " << files.size() << " files to " << port.name << "\n";
    return kOk;
}

} // namespace cli
