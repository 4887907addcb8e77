#pragma once

#include "core/event.h"

#include <cstdint>

// The rules that saving and transmitting apply to their own copy of a dump, whether the
// window or the command line asks. The dump in memory is never changed by them.
namespace dumprules {

// The pause before every message of a dump whose model needs spacing.
inline constexpr double kPacedOffset = 0.3;
// One byte on a MIDI cable, in microseconds.
inline constexpr double kByteTimeMicroseconds = 320.0;

// True when byte 3 of the first message (the model byte) is 0x5B, 0x5C or 0x77: those models
// need every message spaced. False for an empty dump or a first message without byte 3.
bool isOffsetNeeded(const Dump& dump);

// Every message gets kPacedOffset when isOffsetNeeded holds; otherwise nothing changes.
void applyPacing(Dump& dump);

// Byte 4 of every message keeps its high four bits and gets `channel` (0 to 15) in the low
// four. Messages without a byte 4 are left as they are.
void writeChannel(Dump& dump, uint8_t channel);

// The copy that Save stores: paced when needed, channel bits cleared when the type has them.
Dump preparedForSave(const Dump& dump, bool hasChannel);
// The copy that Transmit sends: paced when needed, the chosen channel written when the type
// has one.
Dump preparedForTransmit(const Dump& dump, bool hasChannel, uint8_t channel);

// How long sending takes: every offset plus 320 µs per byte, in microseconds.
double transmitEstimateMicroseconds(const Dump& dump);

} // namespace dumprules
