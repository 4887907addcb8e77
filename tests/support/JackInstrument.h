#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A stand-in for an instrument on the JACK server under test: a client of its own with a MIDI
// output ("out") that plays queued messages as fast as JACK takes them, and a MIDI input ("in")
// that records every event with its arrival time. Also registers extra ports on request, to
// change the MIDI setup.
class JackInstrument {
public:
    using Clock = std::chrono::steady_clock;
    struct Event {
        std::vector<uint8_t> bytes;
        Clock::time_point at;
        uint64_t frame = 0; // JACK's frame time of the event, counted on past wrap-around
    };

    // Null when no server runs.
    static std::unique_ptr<JackInstrument> open(const std::string& name);
    ~JackInstrument();

    std::string name() const { return m_name; }
    // Queues messages for "out"; they leave in order, one JACK event each.
    bool play(const std::vector<std::vector<uint8_t>>& messages);
    // Waits until everything queued has been written into JACK (false on time-out).
    bool waitUntilPlayed(std::chrono::milliseconds timeout);
    // Everything "in" received so far.
    std::vector<Event> received();
    // Everything received, once there are at least `count` events or `timeout` has passed.
    std::vector<Event>
    waitForReceived(std::size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until all that was queued has been played and neither "out" played nor "in" heard
    // anything for a few cycles: a new attempt then meets no traffic of the previous one.
    // False when it never went quiet within `timeout`.
    bool waitUntilQuiet(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until someone is connected to "out" (a receive listens), false on time-out.
    bool waitUntilListenedTo(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Until no port sends to our input any more: a program that ended without closing its
    // client (killed, _Exit) leaves the server only when the server has noticed.
    bool waitUntilNoneSends(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool registerPort(const std::string& port, bool output);
    bool unregisterPort(const std::string& port);
    // Ends the client at once, as an instrument that is switched off.
    void close();
    // The next `cycles` process callbacks each take `each` before they return: longer than a
    // period, the whole graph misses cycles.
    void stall(int cycles, std::chrono::milliseconds each);
    // Cycles this client missed (its frame time stepped by more than a period), or whose input
    // it was still reading when the next one began: what it was sent in them may be lost, and
    // only it can tell.
    int missedCycles() const { return m_missed; }
    jack_nframes_t sampleRate() const { return jack_get_sample_rate(m_client); }
    jack_nframes_t bufferSize() const { return jack_get_buffer_size(m_client); }

private:
    explicit JackInstrument(jack_client_t* client);
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* m_client;
    std::string m_name;
    jack_port_t* m_out = nullptr;
    jack_port_t* m_in = nullptr;
    jack_ringbuffer_t* m_toPlay = nullptr;
    jack_ringbuffer_t* m_heard = nullptr;
    std::map<std::string, jack_port_t*> m_extra;
    std::vector<Event> m_received;
    bool m_closed = false;
    std::atomic<int> m_stallCycles{0};
    std::atomic<int> m_missed{0};
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<uint64_t> m_lastBusyCycle{0}; // the last cycle that played or heard an event
    std::atomic<int64_t> m_stallMicroseconds{0};
    jack_nframes_t m_lastFrame = 0; // the process callback's
    uint64_t m_frames = 0;
};
