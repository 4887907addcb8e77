#pragma once

#include <string>
#include <string_view>

// Whether a recording is a whole dump, decided once for the window and the command line
// alike: any byte that may have been lost fails it, and the reason is one sentence.
enum class RecordingFailure {
    none,
    inputUnavailable,  // the source could not be opened or subscribed
    inputHeld,         // another program holds the source's device
    bytesLost,         // the MIDI system dropped bytes
    sharedInputLost,   // the kernel's buffer of an input shared with another program overflowed
    cyclesMissed,      // JACK missed processing cycles during the dump
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

// Another program that holds or shares a MIDI input, as the MIDI system named it. It travels
// as a detail text ("PID NAME") from the backend to the one place that words the outcome.
struct OtherProgram {
    int pid = 0;      // 0 when unknown
    std::string name; // "" when unknown

    std::string toDetail() const;
    static OtherProgram fromDetail(std::string_view detail);
};

// The sentence for a failure; `detail` is the MIDI system's own reason where it gave one, or,
// for inputHeld and sharedInputLost, the other program (OtherProgram::toDetail).
std::string recordingFailureText(RecordingFailure failure, std::string_view detail = {});
