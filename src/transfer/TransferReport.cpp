#include "TransferReport.h"

#include "midiinterface/TQMidiInterfaceTransmitter.h"

namespace {

TransferReport failed(std::string title, std::string sentence) {
    return {TransferReport::Ending::failed, std::move(title), std::move(sentence), true};
}

} // namespace

TransferReport sendRefused(std::string why) {
    return failed("Transmission refused", std::move(why));
}

TransferReport sendReport(const TransmitSession::Result& result) {
    const std::string ofTotal = " of " + std::to_string(result.total) + " messages ";
    // A partly loaded operating system must never pass for a success.
    if (result.stopped) {
        return {TransferReport::Ending::stopped, "Transmission stopped",
                std::to_string(result.sent) + ofTotal + "were sent.", true};
    }
    if (result.refused != 0) {
        return failed("Transmission incomplete",
                      std::to_string(result.refused) + ofTotal + "could not be sent.");
    }
    if (result.mayNotHaveArrived != 0) {
        return failed("Transmission incomplete", TQMidiInterfaceTransmitter::mayNotHaveArrivedText(
                                                     result.mayNotHaveArrived, result.total));
    }
    return {};
}

TransferReport receiveReport(const ReceiveSession::Result& result, std::chrono::seconds waited) {
    if (result.outcome.failure == RecordingFailure::stopped) {
        return {TransferReport::Ending::stopped, "Receive stopped", "Nothing was kept.", false};
    }
    if (!result.outcome.complete()) {
        return failed("Receive incomplete", result.outcome.reason + " Nothing was kept.");
    }
    if (result.dump.empty()) {
        return {TransferReport::Ending::failed, "Nothing received",
                "No complete SysEx message arrived within " + std::to_string(waited.count()) +
                    " s.",
                false};
    }
    return {};
}
