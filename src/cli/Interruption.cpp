#include "Interruption.h"

#include <chrono>

namespace {

volatile std::sig_atomic_t g_requested = 0;

void onInterrupt(int) {
    g_requested = 1; // all a signal handler may safely do
}

constexpr auto kPoll = std::chrono::milliseconds(40);

} // namespace

Interruption::Interruption(std::function<void()> stop) {
    g_requested = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
    m_watcher = std::thread([this, stop = std::move(stop)] {
        while (!m_ended) {
            if (g_requested != 0) {
                stop();
            }
            std::this_thread::sleep_for(kPoll);
        }
    });
}

Interruption::~Interruption() {
    m_ended = true;
    m_watcher.join();
    sigaction(SIGINT, &m_previous, nullptr);
}
