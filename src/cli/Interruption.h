#pragma once

#include <csignal>
#include <functional>
#include <thread>

// Catches Ctrl+C (SIGINT) while it lives, so that a transfer can end cleanly: `stop` is called
// once (on a thread of its own that the signal wakes, not in the signal handler) and the
// transfer ends its own way, a transmission with its open message closed, a recording without
// writing anything. A second Ctrl+C calls `atOnce` and ends the program with kExitStatus
// (`atOnce` closes what must not stay open, and says what it cut off). A file written while
// it lives is written whole: writeFileAtomically leaves a handled Ctrl+C to it. The previous
// handling comes back when it ends.
class Interruption {
public:
    explicit Interruption(std::function<void()> stop, std::function<void()> atOnce = {});
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;
    ~Interruption();

    // The exit status of a program ended by SIGINT.
    static constexpr int kExitStatus = 130;

private:
    struct sigaction m_previous {};
    int m_pipe[2] = {-1, -1}; // the handler writes, the watcher reads
    std::thread m_watcher;
};
