#include "TransferReport.h"

#include "midiinterface/TQMidiInterfaceTransmitter.h"

#include <cctype>

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
        std::string sentence = std::to_string(result.sent) + ofTotal + "were sent.";
        if (result.cutShort != 0) {
            sentence += " Message " + std::to_string(result.cutShort) + " of " +
                        std::to_string(result.total) +
                        " was cut short and closed; the instrument may report an error for it.";
        }
        return {TransferReport::Ending::stopped, "Transmission stopped", std::move(sentence), true};
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

TransferReport seriesReport(const std::vector<std::string>& names,
                            const std::vector<TransmitSession::Result>& results) {
    const auto list = [](auto first, auto last) {
        std::string text;
        for (auto it = first; it != last; ++it) {
            text += (text.empty() ? "" : ", ") + *it;
        }
        return text.empty() ? std::string("none") : text;
    };
    std::size_t whole = 0;
    while (whole < results.size() &&
           sendReport(results[whole]).ending == TransferReport::Ending::done) {
        ++whole;
    }
    if (whole == names.size()) {
        return {};
    }
    TransferReport report{TransferReport::Ending::stopped, "Transmission stopped", "", true};
    report.sentence = "Sent whole: " + list(names.begin(), names.begin() + whole) + ".";
    std::size_t notFrom = whole;
    if (whole < results.size()) {
        const TransferReport last = sendReport(results[whole]);
        report.ending = last.ending;
        report.title = last.title;
        report.sentence += " " + names[whole] + ": " + last.sentence;
        notFrom = whole + 1;
    }
    if (notFrom < names.size()) {
        report.sentence += " Not sent: " + list(names.begin() + notFrom, names.end()) + ".";
    }
    return report;
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

namespace dumpfate {

std::string keptAs(const std::string& file) {
    return "kept as " + file;
}

std::string sameAs(const std::string& file) {
    return "same as " + file + ": not kept again";
}

std::string incomplete(std::string reason) {
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return "incomplete: " + reason + "; not kept";
}

} // namespace dumpfate
