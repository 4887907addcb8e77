#pragma once

#include "ReceiveSession.h"
#include "TransmitSession.h"

#include <chrono>
#include <string>

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
// `waited`: how long the receive waited for the dump to begin.
TransferReport receiveReport(const ReceiveSession::Result& result, std::chrono::seconds waited);
