#pragma once

#include <string>
#include <string_view>

// Whether a recording is a whole dump, decided once for the window and the command line
// alike: any byte that may have been lost fails it, and the reason is one sentence.
enum class RecordingFailure {
    none,
    inputUnavailable,  // the source could not be opened or subscribed
    bytesLost,         // the MIDI system dropped bytes
    inputGone,         // the source went away
    messageCutOff,     // another status byte came inside a message
    lastMessageCutOff, // the recording ended inside a message
    tooLarge,          // more than any dump may hold
    stopped,           // the user stopped it
};

struct RecordingOutcome {
    RecordingFailure failure = RecordingFailure::none;
    // The sentence for the user; "" when the recording is complete.
    std::string reason;

    bool complete() const { return failure == RecordingFailure::none; }
};

// The sentence for a failure; `detail` is the MIDI system's own reason, where it gave one.
std::string recordingFailureText(RecordingFailure failure, std::string_view detail = {});
