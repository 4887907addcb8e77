#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a transmitter sends first: All Notes Off on channels 1 to 16, then on 1 once more.
inline std::vector<uint8_t> allNotesOff() {
    std::vector<uint8_t> burst;
    for (int i = 0; i < 17; ++i) {
        burst.insert(burst.end(), {uint8_t(0xB0 | (i % 16)), 0x7B, 0x00});
    }
    return burst;
}

// Collects everything that arrives on a raw MIDI device, the instrument's side of a cable,
// with the moment each read took it.
class RawReader {
public:
    using Clock = std::chrono::steady_clock;
    struct Arrival {
        Clock::time_point at;
        std::size_t bytes;
    };

    explicit RawReader(const std::string& device)
        : m_fd(::open(device.c_str(), O_RDONLY | O_NONBLOCK)), m_thread([this] { loop(); }) {}
    ~RawReader() {
        m_stop = true;
        m_thread.join();
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    bool ok() const { return m_fd >= 0; }
    std::vector<uint8_t> waitFor(std::size_t count, std::chrono::seconds timeout) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_bytes.size() >= count; });
        return m_bytes;
    }
    std::vector<Arrival> arrivals() {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }

private:
    void loop() {
        uint8_t chunk[4096];
        while (!m_stop) {
            // Woken by the bytes, so that each is stamped when it came.
            pollfd ready{m_fd, POLLIN, 0};
            if (m_fd < 0 || poll(&ready, 1, 20) <= 0) {
                continue;
            }
            const ssize_t n = read(m_fd, chunk, sizeof chunk);
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                m_bytes.insert(m_bytes.end(), chunk, chunk + n);
                m_arrivals.push_back({Clock::now(), static_cast<std::size_t>(n)});
                m_changed.notify_all();
            }
        }
    }
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_bytes;
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
};

// The most bytes that arrived within any `window` (sliding over every arrival).
inline std::size_t mostBytesWithin(const std::vector<RawReader::Arrival>& arrivals,
                                   RawReader::Clock::duration window) {
    std::size_t most = 0, inWindow = 0;
    for (std::size_t first = 0, last = 0; last < arrivals.size(); ++last) {
        inWindow += arrivals[last].bytes;
        while (arrivals[last].at - arrivals[first].at >= window) {
            inWindow -= arrivals[first++].bytes;
        }
        most = std::max(most, inWindow);
    }
    return most;
}
