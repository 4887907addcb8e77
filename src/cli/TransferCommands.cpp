// receive: a session (src/transfer), worded for a terminal and scripts.
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
  --many               dump after dump into DIR/ (or the library), each under its own name
                       as above, until Ctrl+C: a backup the folder already holds is not kept
                       again, an incomplete dump is never kept; one line each on stderr
  --count N            with --many: end after N dumps
Exits 0 when the dump was stored (with --many: every dump that began was kept or already held,
and --count was reached), 1 when it was not (any dump incomplete, the input gone), 130 after
Ctrl+C (with --many: with nothing lost).
)";

} // namespace

int receive(const std::vector<std::string>& words, const MidiOpener& openMidi) {
    if (wantsHelp(words)) {
        std::cout << kReceiveHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {"input", "output", "timeout", "trackname", "instrument", "count"},
                    {"many"}, {{"o", "output"}})) {
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
    unsigned long count = 0;
    if (const auto c = args.value("count")) {
        const auto n = wholeNumber(*c, 4);
        if (!args.flag("many") || !n || *n == 0) {
            return usage("--count takes a number of dumps from 1 to 9999, with --many",
                         kReceiveHelp);
        }
        count = *n;
    }
    if (args.flag("many") && (!intoFolder || args.value("timeout"))) {
        return usage("--many writes into a folder (-o DIR/) and waits without a limit",
                     kReceiveHelp);
    }
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
    if (args.flag("many")) {
        return receiveSeries(*midi, port.name, std::filesystem::path(*output).parent_path(), count);
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

} // namespace cli
