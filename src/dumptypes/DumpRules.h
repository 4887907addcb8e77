#pragma once

#include "core/Result.h"
#include "core/event.h"

#include "KorvoDumptype.h"

#include <cstdint>
#include <string>

// The rules that saving and transmitting apply to their own copy of a dump, whether the
// window or the command line asks. The dump in memory is never changed by them.
namespace dumprules {

// The pause before every message of a dump whose model needs spacing.
inline constexpr double kPacedOffset = 0.3;

// True when byte 3 of the first message (the model byte) names a model whose catalogue rows are
// paced (0x5B, 0x5C and 0x77): those models
// need every message spaced. False for an empty dump or a first message without byte 3.
bool isOffsetNeeded(const Dump& dump);

// Every message gets kPacedOffset when isOffsetNeeded holds; otherwise nothing changes.
void applyPacing(Dump& dump);

// Byte 4 of every message keeps its high four bits and gets `channel` (0 to 15) in the low
// four. Messages without a byte 4 are left as they are, and so is the first message when
// `bankInFirstMessage` (its byte 4 is a bank number then).
void writeChannel(Dump& dump, uint8_t channel, bool bankInFirstMessage = false);

// The copy that Save stores: paced when needed, channel bits cleared when the type has them.
Dump preparedForSave(const Dump& dump, bool hasChannel, bool bankInFirstMessage = false);
Dump preparedForSave(const Dump& dump, const KorvoDumptype& type);
// The longest pause between messages that may be asked for, for instruments and cables that
// drop data at full rate.
inline constexpr int kMaxChosenPauseMs = 10000;

// Every message after the first waits at least `seconds`: the larger of its own pause and
// that. Never shorter than before.
void applyMinimumPause(Dump& dump, double seconds);

// The copy that Transmit sends: paced when needed, the chosen channel written when the type
// has one, and no pause between messages shorter than `minimumPause` seconds.
Dump preparedForTransmit(const Dump& dump, bool hasChannel, uint8_t channel,
                         bool bankInFirstMessage = false, double minimumPause = 0.0);
Dump preparedForTransmit(const Dump& dump, const KorvoDumptype& type, uint8_t channel,
                         double minimumPause = 0.0);

// No instrument needs a longer pause before a message; the program's own files hold 0.3 s
// and 2 s. A longer one is damage, not a wish to be honoured for days.
inline constexpr double kMaxOffset = 600.0;

// Whether `prepared` may be sent: not with a pause longer than kMaxOffset, or one that is no
// number of seconds at all.
Result<void> transmitRefusal(const Dump& prepared);

// How long sending takes: every offset plus 320 µs per byte, or a byte's share of a slower
// speed (bytes per second, midi::kFullSpeed for the cable's), in microseconds.
double transmitEstimateMicroseconds(const Dump& dump, uint32_t bytesPerSecond = 0);

} // namespace dumprules
