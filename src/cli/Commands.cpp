#include "Commands.h"
#include "core/MidiConstants.h"

#include "Arguments.h"
#include "InfoMessage.h"
#include "Interruption.h"
#include "Json.h"
#include "dumptypes/KorvoDumptype.h"
#include "midifile/DumpFiles.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "transfer/TransferReport.h"

#include <cstdio>
#include <iostream>

namespace cli {

namespace {

const char* const kPortsHelp = R"(usage: bankshuttle-cli ports

Lists the MIDI inputs and outputs with the index and name that --input and --output take.
)";

const char* const kInfoHelp = R"(usage: bankshuttle-cli info FILE [--message N] [--json]

Shows what a dump file (.mid or .syx) holds: the dump type, the number of messages, the track
name, the instrument, whether the maker's sequencer-specific data is kept, then one row per
message with its index, its first five bytes, its size and the pause before it in seconds.
  --message N   one message instead (N as the listing numbers it, from 0): its decoded header
                (maker, model, kind, dump type, MIDI channel or bank), size and pause, then
                every byte as a hex dump with the printable text beside it
  --json        the same as one JSON object, for scripts
)";

const char* const kConvertHelp = R"(usage: bankshuttle-cli convert IN OUT

Converts a dump between .syx and .mid, in either direction, as the window saves it.
)";

std::string text(std::string_view view) {
    return std::string(view);
}

} // namespace

bool wantsHelp(const std::vector<std::string>& words) {
    for (const std::string& w : words) {
        if (w == "--help" || w == "-h") {
            return true;
        }
    }
    return false;
}

int failed(const std::string& message) {
    std::cerr << "bankshuttle-cli: " << message << "\n";
    return kFailed;
}

int usage(const std::string& message, const char* help) {
    // One line; the help text names its own command on its first line.
    std::string_view first(help);
    first = first.substr(0, first.find('\n'));
    std::cerr << "bankshuttle-cli: " << message << " (" << first << ")\n";
    return kUsage;
}

int ports(const std::vector<std::string>& words, const MidiOpener& openMidi) {
    if (wantsHelp(words)) {
        std::cout << kPortsHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {}, {}) || !args.positional().empty()) {
        return usage(args.error().empty() ? "ports takes no arguments" : args.error(), kPortsHelp);
    }
    const auto midi = openMidi();
    std::cout << "inputs:\n";
    const uint16_t sources = TQMidiInterfaceReceiver::SourceNumber(*midi);
    for (uint16_t i = 0; i < sources; ++i) {
        std::cout << "  " << i << ": " << TQMidiInterfaceReceiver::SourceNameAt(*midi, i) << "\n";
    }
    if (sources == 0) {
        std::cout << "  (none)\n";
    }
    std::cout << "outputs:\n";
    const uint16_t destinations = TQMidiInterfaceTransmitter::DestinationNumber(*midi);
    for (uint16_t i = 0; i < destinations; ++i) {
        std::cout << "  " << i << ": " << TQMidiInterfaceTransmitter::DestinationNameAt(*midi, i)
                  << "\n";
    }
    if (destinations == 0) {
        std::cout << "  (none)\n";
    }
    return kOk;
}

int info(const std::vector<std::string>& words) {
    if (wantsHelp(words)) {
        std::cout << kInfoHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {"message"}, {"json"})) {
        return usage(args.error(), kInfoHelp);
    }
    const std::optional<std::string> which = args.value("message");
    std::size_t index = 0;
    if (which) {
        const std::optional<unsigned long> number = wholeNumber(*which, 9);
        if (!number) {
            return usage("--message takes the number of a message, from 0", kInfoHelp);
        }
        index = *number;
    }
    if (args.positional().size() != 1) {
        return usage("info takes one FILE", kInfoHelp);
    }
    const Result<dumpfile::Contents> loaded = loadDump(args.positional()[0]);
    if (!loaded) {
        return failed(args.positional()[0] + ": " + loaded.error());
    }
    const dumpfile::Contents& contents = loaded.value();
    const auto type = identifyDump(&contents.dump);
    if (which) {
        if (index >= contents.dump.size()) {
            return failed(args.positional()[0] + ": there is no message " + *which +
                          "; the file holds " + std::to_string(contents.dump.size()) +
                          " messages, numbered from 0");
        }
        printMessage(std::cout, contents.dump, *type, index, args.flag("json"));
        std::cout.flush();
        return std::cout ? kOk : failed("the message could not be written");
    }
    // Straight out, row by row: a listing of a million messages is never held whole.
    std::ostream& out = std::cout;
    if (args.flag("json")) {
        out << "{\"type\": " << jsonString(text(type->title())) << ", \"trackname\": "
            << (contents.trackname ? jsonString(*contents.trackname) : "null")
            << ", \"instrument\": "
            << (contents.instrument ? jsonString(*contents.instrument) : "null")
            << ", \"meta7f\": " << (contents.meta7f ? "true" : "false") << ", \"messages\": [";
        for (std::size_t i = 0; i < contents.dump.size(); ++i) {
            out << (i == 0 ? "" : ", ")
                << "{\"header\": " << jsonString(text(type->headerText(i, 5)))
                << ", \"size\": " << type->eventLength(i)
                << ", \"offset\": " << plainNumber(contents.dump[i].m_offset) << "}";
        }
        out << "]}\n";
    } else {
        out << "type:       " << type->title() << "\n"
            << "messages:   " << contents.dump.size() << "\n"
            << "trackname:  " << contents.trackname.value_or("-") << "\n"
            << "instrument: " << contents.instrument.value_or("-") << "\n"
            << "meta7f:     " << (contents.meta7f ? "kept" : "none") << "\n";
        char row[96];
        std::snprintf(row, sizeof row, "%7s  %-14s  %8s  %s\n", "No", "Header", "Size", "Offset");
        out << row;
        for (std::size_t i = 0; i < contents.dump.size(); ++i) {
            const std::string header = text(type->headerText(i, 5));
            std::snprintf(row, sizeof row, "%7zu  %-14s  %8zu  %s\n", i, header.c_str(),
                          type->eventLength(i), plainNumber(contents.dump[i].m_offset).c_str());
            out << row;
        }
    }
    out.flush();
    return out ? kOk : failed("the listing could not be written");
}

int convert(const std::vector<std::string>& words) {
    if (wantsHelp(words)) {
        std::cout << kConvertHelp;
        return kOk;
    }
    Arguments args;
    if (!args.parse(words, {}, {}) || args.positional().size() != 2) {
        return usage(args.error().empty() ? "convert takes IN and OUT" : args.error(),
                     kConvertHelp);
    }
    const std::string& in = args.positional()[0];
    const std::string& out = args.positional()[1];
    if (fileKind(in) == FileKind::unknown || fileKind(out) == FileKind::unknown) {
        return usage("both file names must end in .mid or .syx", kConvertHelp);
    }
    const Result<dumpfile::Contents> loaded = loadDump(in);
    if (!loaded) {
        return failed(in + ": " + loaded.error());
    }
    if (loaded->dump.empty()) {
        return failed(in + ": the file holds no message; nothing was written");
    }
    if (const Result<void> stored = storeDump(out, loaded.value()); !stored) {
        return failed(out + ": " + stored.error());
    }
    std::cout << "converted " << loaded->dump.size() << " messages into " << out << "\n";
    return kOk;
}

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

} // namespace cli
