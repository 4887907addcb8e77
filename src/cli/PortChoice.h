#pragma once

#include "midiinterface/MidiService.h"

#include <string>

// Finds the MIDI input or output that a command line names: by its index in the list, or by
// a case-insensitive part of its endpoint name.
struct PortChoice {
    MIDIEndpointRef endpoint = 0;
    std::string name;
    std::string error; // when nothing or more than one port fits, with the candidates
};

PortChoice choosePort(MidiService& service, const std::string& wanted, bool input);
