#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A Stop that cuts every wait short at once: pauses wait on it instead of sleeping, so that a
// user's Stop never waits for a pause to run out.
class StopSignal {
public:
    // From any thread; every wait under way and to come returns at once.
    void request() {
        {
            std::lock_guard lock(m_mutex);
            m_requested = true;
        }
        m_wake.notify_all();
    }
    bool requested() const {
        std::lock_guard lock(m_mutex);
        return m_requested;
    }
    // Waits until `until`; false when a stop was requested (before or meanwhile).
    bool sleepUntil(std::chrono::steady_clock::time_point until) {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_until(lock, until, [this] { return m_requested; });
    }
    template <class Rep, class Period> bool sleepFor(std::chrono::duration<Rep, Period> duration) {
        return sleepUntil(std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(duration));
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
};
