#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <atomic>
#include <cstddef>
#include <memory>

// libjack's handles and a POSIX semaphore, each freed by its own call when its owner goes.
namespace jack {

// Deactivates the client first unless its server has gone (that would wait for it), then
// closes it: no callback runs after that.
struct ClientClose {
    const std::atomic<bool>* serverGone = nullptr;
    void operator()(jack_client_t* client) const {
        if (serverGone == nullptr || !*serverGone) {
            jack_deactivate(client);
        }
        jack_client_close(client);
    }
};
using Client = std::unique_ptr<jack_client_t, ClientClose>;

struct RingBufferFree {
    void operator()(jack_ringbuffer_t* ring) const { jack_ringbuffer_free(ring); }
};
using RingBuffer = std::unique_ptr<jack_ringbuffer_t, RingBufferFree>;

inline RingBuffer newRingBuffer(std::size_t bytes) {
    return RingBuffer(jack_ringbuffer_create(bytes));
}

// A semaphore between threads of this process (the process callback posts it).
class Semaphore {
public:
    Semaphore() { sem_init(&m_sem, 0, 0); }
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    ~Semaphore() { sem_destroy(&m_sem); }
    sem_t* get() { return &m_sem; }

private:
    sem_t m_sem;
};

} // namespace jack
