#include "Interruption.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler's only way out: a byte into this pipe wakes the watcher (write() is safe there).
int g_wake = -1;

void onInterrupt(int) {
    const int saved = errno;
    const char interrupt = 'i';
    static_cast<void>(write(g_wake, &interrupt, 1));
    errno = saved;
}

} // namespace

Interruption::Interruption(std::function<void()> stop, std::function<void()> atOnce) {
    if (pipe2(m_pipe, O_CLOEXEC) != 0) {
        m_pipe[0] = m_pipe[1] = -1; // Ctrl+C then ends the program as it would without us
        return;
    }
    g_wake = m_pipe[1];
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
    m_watcher = std::thread([this, stop = std::move(stop), atOnce = std::move(atOnce)] {
        bool stopped = false;
        char byte = 0;
        for (;;) {
            const ssize_t n = read(m_pipe[0], &byte, 1);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n != 1 || byte == 'e') {
                return;
            }
            if (stopped) {
                // The user will not wait: whatever the first Ctrl+C began is cut off.
                if (atOnce) {
                    atOnce();
                }
                std::_Exit(kExitStatus);
            }
            stopped = true;
            stop();
        }
    });
}

Interruption::~Interruption() {
    if (m_pipe[0] < 0) {
        return;
    }
    sigaction(SIGINT, &m_previous, nullptr);
    const char end = 'e';
    static_cast<void>(write(m_pipe[1], &end, 1));
    m_watcher.join();
    g_wake = -1;
    close(m_pipe[0]);
    close(m_pipe[1]);
}
