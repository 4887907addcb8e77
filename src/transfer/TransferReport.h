#pragma once

#include "ReceiveSession.h"
#include "TransmitSession.h"

#include <chrono>
#include <string>
#include <vector>

// How a send or a receive ended, in the words the user reads, decided once: the window shows
// the sentence in an alert with the title (when `alert` is set), the command line prints both
// on stderr and exits by the ending.
struct TransferReport {
    enum class Ending { done, stopped, failed };
    Ending ending = Ending::done;
    std::string title;    // "Transmission stopped"
    std::string sentence; // "3 of 30 messages were sent."
    // False where the window's own state says it all: a receive the user stopped, or one that
    // found nothing to record.
    bool alert = false;
};

// A send refused before anything went out; `why` is the sentence.
TransferReport sendRefused(std::string why);
TransferReport sendReport(const TransmitSession::Result& result);
// A series of files (`names`, in the order sent); `results` for the files that were begun,
// the last of them where the series ended. Says which were sent whole, which one was cut or
// incomplete and how, and which were not sent.
TransferReport seriesReport(const std::vector<std::string>& names,
                            const std::vector<TransmitSession::Result>& results);
// What became of one dump of a series received into a folder, as both programs say it:
// "kept as <file>", "same as <file>: not kept again", "incomplete: <reason>; not kept".
namespace dumpfate {
std::string keptAs(const std::string& file);
std::string sameAs(const std::string& file);
// `reason`: the outcome's sentence, said as a clause.
std::string incomplete(std::string reason);
} // namespace dumpfate

// `waited`: how long the receive waited for the dump to begin.
TransferReport receiveReport(const ReceiveSession::Result& result, std::chrono::seconds waited);
