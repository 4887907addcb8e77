#pragma once

#include <functional>
#include <thread>
#include <utility>

// A thread that is told to stop and joined by end(): its owner calls that before anything the
// thread uses goes. Its destructor ends it too, as a last resort.
class StoppingThread {
public:
    StoppingThread() = default;
    StoppingThread(std::function<void()> body, std::function<void()> stop)
        : m_stop(std::move(stop)), m_thread(std::move(body)) {}
    StoppingThread(const StoppingThread&) = delete;
    StoppingThread& operator=(const StoppingThread&) = delete;
    StoppingThread& operator=(StoppingThread&& other) noexcept {
        end();
        m_stop = std::move(other.m_stop);
        m_thread = std::move(other.m_thread);
        return *this;
    }
    ~StoppingThread() { end(); }

    // Tells the thread to stop and waits for it; nothing when none runs.
    void end() {
        if (m_thread.joinable()) {
            m_stop();
            m_thread.join();
        }
    }

private:
    std::function<void()> m_stop;
    std::thread m_thread;
};
