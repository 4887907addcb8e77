#include "PortChoice.h"

#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string listed(const std::vector<std::string>& names, const std::vector<std::size_t>& which) {
    if (which.empty()) {
        return "none";
    }
    std::string text;
    for (std::size_t i : which) {
        text += (text.empty() ? "" : ", ") + std::to_string(i) + ": " + names[i];
    }
    return text;
}

} // namespace

PortChoice choosePort(MidiService& service, const std::string& wanted, bool input) {
    const char* kind = input ? "MIDI input" : "MIDI output";
    std::vector<std::string> names;
    const uint16_t count = input ? TQMidiInterfaceReceiver::SourceNumber(service)
                                 : TQMidiInterfaceTransmitter::DestinationNumber(service);
    for (uint16_t i = 0; i < count; ++i) {
        names.push_back(input ? TQMidiInterfaceReceiver::SourceNameAt(service, i)
                              : TQMidiInterfaceTransmitter::DestinationNameAt(service, i));
    }
    std::vector<std::size_t> all(names.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }

    PortChoice choice;
    std::vector<std::size_t> fits;
    const bool isIndex =
        !wanted.empty() && wanted.size() < 6 &&
        std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); });
    if (isIndex) {
        const std::size_t index = std::stoul(wanted);
        if (index < names.size()) {
            fits.push_back(index);
        }
    } else {
        const std::string part = lower(wanted);
        std::vector<std::size_t> exact;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == wanted) {
                exact.push_back(i);
            }
            if (!part.empty() && lower(names[i]).find(part) != std::string::npos) {
                fits.push_back(i);
            }
        }
        // A name given whole wins over the names it is part of ("Synth" beside "Synth 2").
        if (exact.size() == 1) {
            fits = exact;
        }
    }
    if (fits.size() == 1) {
        choice.endpoint = input ? service.source(fits[0]) : service.destination(fits[0]);
        choice.name = names[fits[0]];
        if (choice.endpoint == 0) {
            choice.error = std::string(kind) + " \"" + wanted + "\" has just gone";
        }
        return choice;
    }
    if (fits.empty()) {
        choice.error = std::string("no ") + kind + " matches \"" + wanted +
                       "\"; there are: " + listed(names, all);
    } else {
        choice.error = std::string(kind) + " \"" + wanted +
                       "\" is ambiguous; it matches: " + listed(names, fits);
    }
    return choice;
}
