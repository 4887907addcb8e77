#include "RecordingOutcome.h"

#include <charconv>

namespace {

// "amidi (pid 1876)", or what is known of the program.
std::string described(const OtherProgram& program) {
    if (program.pid <= 0) {
        return "another program";
    }
    const std::string pid = "(pid " + std::to_string(program.pid) + ")";
    return program.name.empty() ? "another program " + pid : program.name + " " + pid;
}

} // namespace

std::string OtherProgram::toDetail() const {
    return std::to_string(pid) + " " + name;
}

OtherProgram OtherProgram::fromDetail(std::string_view detail) {
    OtherProgram program;
    const auto [end, error] =
        std::from_chars(detail.data(), detail.data() + detail.size(), program.pid);
    if (error != std::errc{} || program.pid < 0) {
        return {};
    }
    if (end != detail.data() + detail.size() && *end == ' ') {
        program.name.assign(end + 1, detail.data() + detail.size());
    }
    return program;
}

std::string recordingFailureText(RecordingFailure failure, std::string_view detail) {
    switch (failure) {
    case RecordingFailure::none:
        return "";
    case RecordingFailure::inputUnavailable:
        return detail.empty() ? std::string("The MIDI input cannot be opened.")
                              : "The MIDI input cannot be opened: " + std::string(detail) + ".";
    case RecordingFailure::inputHeld:
        return "The MIDI input is held by " + described(OtherProgram::fromDetail(detail)) +
               ": quit it, or let it release the input, and receive again.";
    case RecordingFailure::bytesLost:
        return "Bytes were lost: the MIDI input delivered them faster than they could be read.";
    case RecordingFailure::sharedInputLost: {
        const OtherProgram other = OtherProgram::fromDetail(detail);
        const std::string quit = other.pid > 0 && !other.name.empty() ? other.name : "it";
        return "Bytes were lost: the kernel's buffer for this input overflowed while " +
               described(other) + " listened to it too. Quit " + quit +
               ", or stop it from listening to this input, and receive again.";
    }
    case RecordingFailure::cyclesMissed:
        return "Bytes may have been lost: JACK missed processing cycles during the recording. Run "
               "JACK with realtime scheduling or a larger period, and receive again.";
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
