#include "Interruption.h"

namespace {

volatile std::sig_atomic_t g_requested = 0;

void onInterrupt(int) {
    g_requested = 1; // all a signal handler may safely do
}

} // namespace

Interruption::Interruption() {
    g_requested = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
}

Interruption::~Interruption() {
    sigaction(SIGINT, &m_previous, nullptr);
}

bool Interruption::requested() const {
    return g_requested != 0;
}
