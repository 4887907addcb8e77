#include "JackInstrument.h"

#include <jack/midiport.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <thread>

namespace {

int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// Looks every millisecond until `done` holds (true) or `timeout` has passed (false).
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

std::unique_ptr<JackInstrument> JackInstrument::open(const std::string& name) {
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client == nullptr) {
        return nullptr;
    }
    std::unique_ptr<JackInstrument> instrument(new JackInstrument(client));
    jack_set_process_callback(client, &process, instrument.get());
    if (jack_activate(client) != 0) {
        return nullptr;
    }
    return instrument;
}

JackInstrument::JackInstrument(jack_client_t* client)
    : m_client(client), m_name(jack_get_client_name(client)) {
    m_out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_in = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_toPlay = jack_ringbuffer_create(16 << 20);
    m_heard = jack_ringbuffer_create(16 << 20);
}

JackInstrument::~JackInstrument() {
    close();
    jack_ringbuffer_free(m_toPlay);
    jack_ringbuffer_free(m_heard);
}

void JackInstrument::close() {
    if (!m_closed) {
        m_closed = true;
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

int JackInstrument::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackInstrument*>(arg);
    if (self->m_stallCycles > 0) {
        --self->m_stallCycles;
        std::this_thread::sleep_for(std::chrono::microseconds(self->m_stallMicroseconds.load()));
    }
    // Record: [uint32 size][int64 time][uint64 frame][bytes].
    const jack_nframes_t start = jack_last_frame_time(self->m_client);
    void* in = jack_port_get_buffer(self->m_in, frames);
    const uint32_t count = jack_midi_get_event_count(in);
    const int64_t now = monotonicNanoseconds();
    if (self->m_lastFrame != 0 && start - self->m_lastFrame > frames) {
        ++self->m_missed;
    }
    self->m_frames += start - self->m_lastFrame;
    self->m_lastFrame = start;
    const uint64_t cycle = ++self->m_cycles;
    if (count > 0) {
        self->m_lastBusyCycle = cycle;
    }
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0) {
            continue;
        }
        const auto size = static_cast<uint32_t>(event.size);
        const uint64_t frame = self->m_frames + event.time;
        if (jack_ringbuffer_write_space(self->m_heard) >= 20 + size) {
            jack_ringbuffer_write(self->m_heard, reinterpret_cast<const char*>(&size), 4);
            jack_ringbuffer_write(self->m_heard, reinterpret_cast<const char*>(&now), 8);
            jack_ringbuffer_write(self->m_heard, reinterpret_cast<const char*>(&frame), 8);
            jack_ringbuffer_write(self->m_heard, reinterpret_cast<const char*>(event.buffer), size);
        }
    }
    // Our input is the sender's own buffer, refilled in the next cycle: once that has begun,
    // what was copied may be torn, as good as a missed cycle.
    if (count > 0 && jack_last_frame_time(self->m_client) != start) {
        ++self->m_missed;
    }
    // Play: [uint32 size][bytes], as many as fit into this cycle. PipeWire's JACK drops a
    // cycle's whole output when its events and their headers outgrow 32 KiB, though each
    // reserve succeeded: a cycle carries at most kBytesPerCycle (a USB instrument sends about
    // 6 KB in a period of 1024 frames).
    constexpr std::size_t kBytesPerCycle = 24'000;
    std::size_t played = 0;
    void* out = jack_port_get_buffer(self->m_out, frames);
    jack_midi_clear_buffer(out);
    for (;;) {
        uint32_t size = 0;
        const std::size_t available = jack_ringbuffer_read_space(self->m_toPlay);
        if (available < 4) {
            break;
        }
        jack_ringbuffer_peek(self->m_toPlay, reinterpret_cast<char*>(&size), 4);
        if (available < 4 + size || (played > 0 && played + size > kBytesPerCycle)) {
            break;
        }
        // What does not fit waits for the next cycle; a refused reserve would count as lost.
        if (jack_midi_max_event_size(out) < size) {
            break;
        }
        jack_midi_data_t* data = jack_midi_event_reserve(out, 0, size);
        if (data == nullptr) {
            break;
        }
        played += size;
        self->m_lastBusyCycle = cycle;
        jack_ringbuffer_read_advance(self->m_toPlay, 4);
        jack_ringbuffer_read(self->m_toPlay, reinterpret_cast<char*>(data), size);
    }
    return 0;
}

bool JackInstrument::play(const std::vector<std::vector<uint8_t>>& messages) {
    for (const auto& message : messages) {
        const auto size = static_cast<uint32_t>(message.size());
        while (jack_ringbuffer_write_space(m_toPlay) < 4 + size) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        jack_ringbuffer_write(m_toPlay, reinterpret_cast<const char*>(&size), 4);
        jack_ringbuffer_write(m_toPlay, reinterpret_cast<const char*>(message.data()), size);
    }
    return true;
}

bool JackInstrument::waitUntilPlayed(std::chrono::milliseconds timeout) {
    return waitUntil([this] { return jack_ringbuffer_read_space(m_toPlay) == 0; }, timeout);
}

std::vector<JackInstrument::Event> JackInstrument::received() {
    for (;;) {
        const std::size_t available = jack_ringbuffer_read_space(m_heard);
        uint32_t size = 0;
        if (available < 20) {
            break;
        }
        jack_ringbuffer_peek(m_heard, reinterpret_cast<char*>(&size), 4);
        if (available < 20 + size) {
            break;
        }
        int64_t at = 0;
        Event event;
        jack_ringbuffer_read_advance(m_heard, 4);
        jack_ringbuffer_read(m_heard, reinterpret_cast<char*>(&at), 8);
        jack_ringbuffer_read(m_heard, reinterpret_cast<char*>(&event.frame), 8);
        event.bytes.resize(size);
        jack_ringbuffer_read(m_heard, reinterpret_cast<char*>(event.bytes.data()), size);
        // CLOCK_MONOTONIC is what steady_clock reads on Linux.
        event.at = Clock::time_point(std::chrono::nanoseconds(at));
        m_received.push_back(std::move(event));
    }
    return m_received;
}

std::vector<JackInstrument::Event>
JackInstrument::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) {
    waitUntil([&] { return received().size() >= count; }, timeout);
    return received();
}

bool JackInstrument::waitUntilQuiet(std::chrono::milliseconds timeout) {
    // A cycle may still be on its way through the graph: three quiet ones make sure.
    constexpr uint64_t kQuietCycles = 3;
    const bool quiet = waitUntil(
        [this] {
            return jack_ringbuffer_read_space(m_toPlay) == 0 &&
                   m_cycles.load() >= m_lastBusyCycle.load() + kQuietCycles;
        },
        timeout);
    received();
    return quiet;
}

bool JackInstrument::waitUntilListenedTo(std::chrono::milliseconds timeout) {
    return waitUntil([this] { return jack_port_connected(m_out) != 0; }, timeout);
}

bool JackInstrument::waitUntilNoneSends(std::chrono::milliseconds timeout) {
    return waitUntil([this] { return jack_port_connected(m_in) == 0; }, timeout);
}

void JackInstrument::stall(int cycles, std::chrono::milliseconds each) {
    m_stallMicroseconds = std::chrono::microseconds(each).count();
    m_stallCycles = cycles;
}

bool JackInstrument::registerPort(const std::string& port, bool output) {
    jack_port_t* p = jack_port_register(m_client, port.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                        output ? JackPortIsOutput : JackPortIsInput, 0);
    if (p == nullptr) {
        return false;
    }
    m_extra[port] = p;
    return true;
}

bool JackInstrument::unregisterPort(const std::string& port) {
    const auto it = m_extra.find(port);
    if (it == m_extra.end()) {
        return false;
    }
    jack_port_unregister(m_client, it->second);
    m_extra.erase(it);
    return true;
}
