#pragma once

#include "core/Result.h"
#include "core/event.h"
#include "dumptypes/KorvoDumptype.h"
#include "midiinterface/MidiService.h"

#include <cstdint>

// What the user chose for a send, in the window's menus or on the command line.
struct SendChoices {
    uint8_t channel = 0;    // 0 to 15, written into dumps whose type carries one
    int minimumPauseMs = 0; // 0: the pauses the model needs
    uint32_t bytesPerSecond = midi::kFullSpeed;
};

// The copy of a dump that one send hands over, at what speed, and how long that takes.
struct SendPlan {
    Dump sending;
    uint32_t bytesPerSecond = midi::kFullSpeed;
    double estimateSeconds = 0.0; // the messages and their pauses, not the opening of the output
};

// The plan, or the sentence that says why this dump cannot be sent as chosen, whatever the
// MIDI system. Asks nothing of a MIDI service, so the window's thread may call it.
Result<SendPlan> prepareSend(const Dump& dump, const KorvoDumptype& type,
                             const SendChoices& choices);
// Why `midi` cannot carry the plan (a message larger than one event, a speed it cannot keep);
// it may wait for the MIDI system. TransmitSession asks it on its own thread before the output
// is opened.
Result<void> carryRefusal(const SendPlan& plan, MidiService& midi);
// Both: the plan, or the sentence that says why this dump cannot be sent over `midi` as
// chosen. Decided before anything goes out.
Result<SendPlan> planSend(const Dump& dump, const KorvoDumptype& type, const SendChoices& choices,
                          MidiService& midi);
