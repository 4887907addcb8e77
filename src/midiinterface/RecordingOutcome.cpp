#include "RecordingOutcome.h"

std::string recordingFailureText(RecordingFailure failure, std::string_view detail) {
    switch (failure) {
    case RecordingFailure::none:
        return "";
    case RecordingFailure::inputUnavailable:
        return detail.empty() ? std::string("The MIDI input cannot be opened.")
                              : "The MIDI input cannot be opened: " + std::string(detail) + ".";
    case RecordingFailure::bytesLost:
        return "Bytes were lost: the MIDI input delivered them faster than they could be read.";
    case RecordingFailure::inputGone:
        return "The MIDI input went away during the recording.";
    case RecordingFailure::messageCutOff:
        return "A message was cut off: another MIDI message began before its end.";
    case RecordingFailure::lastMessageCutOff:
        return "The last message was cut off.";
    case RecordingFailure::tooLarge:
        return "The dump was larger than any dump can be: a message over 64 MiB, more than "
               "1 GiB or more than 1,000,000 messages.";
    case RecordingFailure::stopped:
        return "The receive was stopped.";
    }
    return "";
}
