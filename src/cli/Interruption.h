#pragma once

#include <csignal>

// Catches Ctrl+C (SIGINT) while it lives, so that a transfer can end cleanly: a transmission
// after the message in flight, a recording without writing anything. The previous handling
// comes back when it ends, before any file is written.
class Interruption {
public:
    Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;
    ~Interruption();

    bool requested() const;

    // The exit status of a program ended by SIGINT.
    static constexpr int kExitStatus = 130;

private:
    struct sigaction m_previous {};
};
