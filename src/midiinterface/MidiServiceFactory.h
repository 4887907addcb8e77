#pragma once

#include "MidiService.h"

#include <memory>
#include <string>

// Picks the MIDI system to use: the one named by BANKSHUTTLE_MIDI_API ("alsa", "jack") when
// set, else ALSA when its sequencer opens, else JACK when a server runs, else a service with
// no endpoints, so that the program still starts. `diagnostic` receives a line for the user
// when the choice was not the one asked for or nothing was found.
std::unique_ptr<MidiService> createMidiService(std::string_view clientName,
                                               std::string* diagnostic);
// The same, with the wish given directly ("" for automatic).
std::unique_ptr<MidiService> createMidiService(std::string_view clientName, std::string_view api,
                                               std::string* diagnostic);
