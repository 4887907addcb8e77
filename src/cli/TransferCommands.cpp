// receive and send: a session each (src/transfer), worded for a terminal and scripts.
#include "Commands.h"

#include "Arguments.h"
#include "Interruption.h"
#include "PortChoice.h"
#include "core/MidiConstants.h"
#include "dumptypes/DumpRules.h"
#include "midifile/AtomicFile.h"
#include "midifile/BackupName.h"
#include "midifile/DumpFiles.h"
#include "midifile/Library.h"
#include "midifile/LibrarySettings.h"
#include "transfer/SendPlan.h"
#include "transfer/TransferReport.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>

namespace cli {

namespace {

using namespace std::chrono_literals;

// How often `send` looks at the transmitter and redraws its bar.
constexpr auto kPoll = 40ms;

const char* const kReceiveHelp =
    R"(usage: bankshuttle-cli receive --input PORT [-o FILE|DIR/] [options]

Records the SysEx dump that an instrument sends on PORT and stores it in FILE: ".mid" as the
window saves it, ".syx" as the raw messages. Start the dump on the instrument after the
command says it is waiting. The recording ends after 300 ms without SysEx data.
  --input PORT         index or part of the name of a MIDI input (see "ports")
  -o, --output FILE    the file to write; written whole or not at all
  -o, --output DIR/    a folder (the name ends in "/"): the dump is written there as
                       "<dump type> YYYY-MM-DD.mid", with " 2", " 3", ... added when that
                       name is taken; no file is ever replaced
                       (without -o: the library folder, as the window's Library menu
                       chose it, else BankShuttle in the music folder; made when missing)
  --timeout SECONDS    how long to wait for the dump to begin (default 10)
  --trackname TEXT     track name to store in a .mid file
  --instrument TEXT    instrument name to store in a .mid file
)";

const char* const kSendHelp = R"(usage: bankshuttle-cli send FILE --output PORT [options]

Sends a dump file (.mid or .syx) to an instrument on PORT: All Notes Off on every channel,
then the instrument's instruction and a prompt to press Enter, then the messages one at a time
with the pauses the model needs.
  --output PORT      index or part of the name of a MIDI output (see "ports")
  --channel N        MIDI channel 1-16 written into dumps that carry one (default 1)
  --pause MS         wait at least MS milliseconds (0-10000) before every message after the
                     first, for instruments, interfaces and cables that drop data at full
                     rate; a longer pause the model needs is kept (default 0)
  --rate BYTES_PER_SECOND
                     hand every byte over no faster than this (10-3125), All Notes Off
                     included, for interfaces that drop bytes of long messages (default:
                     full speed, 3125); ALSA only: JACK sends a message in one piece
  --yes              do not wait for Enter (nor does a run whose input is not a terminal)
)";

// How a transfer ended, on stderr, and the exit status that goes with it.
int shown(const TransferReport& report) {
    if (report.ending == TransferReport::Ending::done) {
        return kOk;
    }
    std::string title = report.title;
    if (!title.empty()) {
        title[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(title[0])));
    }
    std::cerr << "bankshuttle-cli: " << title << ": " << report.sentence << "\n";
    return report.ending == TransferReport::Ending::stopped ? Interruption::kExitStatus : kFailed;
}

} // namespace

int receive(const std::vector<std::string>& words, const MidiOpener& openMidi) {
    if (wantsHelp(words)) {
        std::cout << kReceiveHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {"input", "output", "timeout", "trackname", "instrument"}, {},
                    {{"o", "output"}})) {
        return usage(args.error(), kReceiveHelp);
    }
    if (!args.positional().empty()) {
        return usage("receive takes no positional arguments", kReceiveHelp);
    }
    const auto input = args.value("input");
    if (!input) {
        return usage("receive needs --input PORT", kReceiveHelp);
    }
    auto output = args.value("output");
    if (!output) {
        const std::filesystem::path folder = library::folder();
        std::error_code error;
        std::filesystem::create_directories(folder, error); // a failure is said just below
        output = folder.string() + "/";
    }
    const bool intoFolder = output->ends_with('/');
    if (!intoFolder && fileKind(*output) == FileKind::unknown) {
        return usage("the output file name must end in .mid or .syx, or a folder's in /",
                     kReceiveHelp);
    }
    int timeout = 10;
    if (const auto t = args.value("timeout")) {
        try {
            std::size_t used = 0;
            timeout = std::stoi(*t, &used);
            if (used != t->size() || timeout < 1 || timeout > 3600) {
                throw std::out_of_range(*t);
            }
        } catch (const std::exception&) {
            return usage("--timeout takes whole seconds from 1 to 3600", kReceiveHelp);
        }
    }

    // Said now, not after the instrument has sent its dump.
    if (const std::string why =
            intoFolder ? whyFolderNotWritable(*output) : whyNotWritable(*output);
        !why.empty()) {
        return failed(intoFolder ? why : *output + ": " + why);
    }
    const auto midi = openMidi();
    const PortChoice port = choosePort(*midi, *input, true);
    if (port.endpoint == 0) {
        return failed(port.error);
    }
    dumpfile::Contents contents;
    {
        // The wait counts from the connecting, which takes 600 ms.
        ReceiveSession session(*midi, port.name,
                               std::chrono::seconds(timeout) + std::chrono::milliseconds(600));
        // Ctrl+C ends the recording; nothing is written.
        const Interruption interruption([&session] { session.stop(); });
        std::promise<ReceiveSession::Result> finished;
        ReceiveSession::Events events;
        events.waiting = [&] {
            std::cerr << "waiting for SysEx data from " << port.name << " (up to " << timeout
                      << " s)...\n";
        };
        events.finished = [&finished](ReceiveSession::Result result) {
            finished.set_value(std::move(result));
        };
        session.start(std::move(events));
        ReceiveSession::Result result = finished.get_future().get();
        if (const TransferReport report = receiveReport(result, std::chrono::seconds(timeout));
            report.ending != TransferReport::Ending::done) {
            return shown(report);
        }
        contents.dump = std::move(result.dump);
    }
    contents.trackname = args.value("trackname");
    contents.instrument = args.value("instrument");
    const std::string title(identifyDump(&contents.dump)->title());
    std::string written = *output;
    if (intoFolder) {
        const Result<std::string> stored = backupname::storeAsNew(
            *output, backupname::proposed(title, backupname::today()), contents);
        if (!stored) {
            return failed(stored.error());
        }
        written = stored.value();
    } else if (const Result<void> stored = storeDump(*output, contents); !stored) {
        return failed(*output + ": " + stored.error());
    }
    std::cout << "received " << contents.dump.size() << " messages (" << title << ") into "
              << written << "\n";
    return kOk;
}

namespace {

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

} // namespace

int send(const std::vector<std::string>& words, const MidiOpener& openMidi) {
    if (wantsHelp(words)) {
        std::cout << kSendHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {"output", "channel", "pause", "rate"}, {"yes"},
                    {{"o", "output"}, {"y", "yes"}})) {
        return usage(args.error(), kSendHelp);
    }
    if (args.positional().size() != 1 || !args.value("output")) {
        return usage("send takes one FILE and --output PORT", kSendHelp);
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
    const Result<dumpfile::Contents> loaded = loadDump(args.positional()[0]);
    if (!loaded) {
        return failed(args.positional()[0] + ": " + loaded.error());
    }
    const Dump& dump = loaded->dump;
    if (dump.empty()) {
        return failed(args.positional()[0] + ": the file holds no message to send");
    }
    const auto type = identifyDump(&dump);
    const auto midi = openMidi();
    // What cannot be sent, or not over this MIDI system, is refused before anything goes out.
    Result<SendPlan> plan = planSend(
        dump, *type, {static_cast<uint8_t>(channel - 1), static_cast<int>(pauseMs), rate}, *midi);
    if (!plan) {
        return shown(sendRefused(plan.error()));
    }
    const PortChoice port = choosePort(*midi, *args.value("output"), false);
    if (port.endpoint == 0) {
        return failed(port.error);
    }
    const double estimate = plan->estimateSeconds;
    const std::size_t total = plan->sending.size();
    TransmitSession::Result result;
    {
        TransmitSession session(*midi, port.name, std::move(plan.value()));
        // Ctrl+C ends the transmission after the message in flight, never inside one; at a
        // slow speed that may take minutes, so it is said.
        const Interruption interruption([&session] {
            session.stop();
            std::cerr << "\nstopping after the message in flight...\n";
        });
        std::promise<void> opened;
        session.open([&opened] { opened.set_value(); });
        opened.get_future().get();
        if (!session.stopRequested()) {
            std::cerr << "sending " << type->title() << " (" << total << " messages, about "
                      << static_cast<int>(estimate + 0.5) << " s) to " << port.name << "\n";
            if (!type->transmitInstruction().empty()) {
                std::cout << type->transmitInstruction() << "\n" << std::flush;
                if (!args.flag("yes") && isatty(STDIN_FILENO)) {
                    std::cout << "Press Enter when the instrument is ready..." << std::flush;
                    std::string line;
                    std::getline(std::cin, line);
                }
            }
            std::promise<TransmitSession::Result> finished;
            auto done = finished.get_future();
            session.send([&finished](TransmitSession::Result r) { finished.set_value(r); });
            const bool bar = isatty(STDERR_FILENO);
            const auto start = std::chrono::steady_clock::now();
            while (done.wait_for(kPoll) != std::future_status::ready) {
                if (bar) {
                    const std::chrono::duration<double> elapsed =
                        std::chrono::steady_clock::now() - start;
                    showProgress(elapsed.count(), estimate);
                }
            }
            result = done.get();
            if (bar) {
                showProgress(estimate, estimate);
                std::fputc('\n', stderr);
            }
        } else {
            result.stopped = true; // Ctrl+C while opening: nothing was sent
            result.total = total;
        }
    }
    if (const TransferReport report = sendReport(result);
        report.ending != TransferReport::Ending::done) {
        return shown(report);
    }
    std::cout << "sent " << total << " messages to " << port.name << "\n";
    return kOk;
}

} // namespace cli
