#pragma once

// The MIDI systems that the layer's promises are tested on, each with a peer program whose
// ports can come and go: the in-process virtual service, and a real JACK server.
#include "midiinterface/jack/JackMidiService.h"
#include "midiinterface/virtual/VirtualMidiService.h"
#include "support/JackInstrument.h"

#include <unistd.h>

#include <memory>
#include <string>

struct VirtualBackend {
    VirtualMidiService service;
    std::string peer = "Peer";

    VirtualBackend() {
        service.addSource({peer, "out"});
        service.addDestination({peer, "in"});
    }
    bool ready() const { return true; }
    MidiService& midi() { return service; }
    bool addPort(const std::string& name, bool output) {
        output ? service.addSource({peer, name}) : service.addDestination({peer, name});
        return true;
    }
    bool removePort(const std::string& name, bool output) {
        output ? service.removeSource({peer, name}) : service.removeDestination({peer, name});
        return true;
    }
};

struct JackBackend {
    std::unique_ptr<JackMidiService> service =
        JackMidiService::open("BankShuttle").valueOr(nullptr);
    std::unique_ptr<JackInstrument> instrument =
        JackInstrument::open("peer" + std::to_string(getpid()));
    std::string peer = instrument ? instrument->name() : "";

    bool ready() const { return service && instrument; }
    MidiService& midi() { return *service; }
    bool addPort(const std::string& name, bool output) {
        return instrument->registerPort(name, output);
    }
    bool removePort(const std::string& name, bool) { return instrument->unregisterPort(name); }
};
