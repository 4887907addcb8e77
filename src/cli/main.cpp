// bankshuttle-cli: the dump shuttle for scripts, backups and machines without a display.
#include "Commands.h"
#include "core/MidiConstants.h"
#include "midiinterface/MidiServiceFactory.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kHelp = R"(usage: bankshuttle-cli [--midi-api alsa|jack] COMMAND [ARGS]

Backs up and restores the SysEx dumps of KoRvO instruments.

commands:
  ports                                  list MIDI inputs and outputs
  info FILE [--message N] [--json]       show what a .mid or .syx dump file holds
  receive --input PORT [-o FILE|DIR/]    record a dump from an instrument (into the library)
  send FILE --output PORT [--pause MS]   send a dump to an instrument
  convert IN OUT                         convert between .syx and .mid
  list [DIR] [--json]                    the dump files in DIR (the library) and what they hold

PORT is an index from "ports" or a part of a port's name. "bankshuttle-cli COMMAND --help"
tells more. --midi-api (or BANKSHUTTLE_MIDI_API) picks the MIDI system.
)";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    std::string api;
    while (!words.empty() && words.front().starts_with("-")) {
        const std::string option = words.front();
        words.erase(words.begin());
        if (option == "--help" || option == "-h") {
            std::cout << kHelp;
            return cli::kOk;
        }
        if (option == "--midi-api" && !words.empty()) {
            api = words.front();
            words.erase(words.begin());
        } else if (option.starts_with("--midi-api=")) {
            api = option.substr(11);
        } else {
            return cli::usage("unknown option " + option, kHelp);
        }
        if (api != "alsa" && api != "jack" && api != "none") {
            return cli::usage("--midi-api takes alsa or jack", kHelp);
        }
    }
    if (words.empty()) {
        return cli::usage("a command is missing", kHelp);
    }
    const std::string command = words.front();
    words.erase(words.begin());

    const cli::MidiOpener openMidi = [api]() {
        std::string diagnostic;
        auto midi = api.empty() ? createMidiService(midi::kProgramName, &diagnostic)
                                : createMidiService(midi::kProgramName, api, &diagnostic);
        if (!diagnostic.empty()) {
            std::cerr << "bankshuttle-cli: " << diagnostic << "\n";
        }
        return midi;
    };
    if (command == "ports") {
        return cli::ports(words, openMidi);
    }
    if (command == "info") {
        return cli::info(words);
    }
    if (command == "receive") {
        return cli::receive(words, openMidi);
    }
    if (command == "send") {
        return cli::send(words, openMidi);
    }
    if (command == "convert") {
        return cli::convert(words);
    }
    if (command == "list") {
        return cli::list(words);
    }
    return cli::usage("unknown command \"" + command + "\"", kHelp);
}
