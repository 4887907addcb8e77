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

// The plan, or the sentence that says why this dump cannot be sent over `midi` as chosen.
// Decided before anything goes out, for the window and the command line alike.
Result<SendPlan> planSend(const Dump& dump, const KorvoDumptype& type, const SendChoices& choices,
                          MidiService& midi);
