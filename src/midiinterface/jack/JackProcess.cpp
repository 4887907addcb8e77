// The JACK client's callbacks: the process callback, real-time, which only copies bytes and
// keeps count of cycles and frames; the server's shutdown and xrun notices.
#include "JackMidiService.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cmath>

uint64_t JackMidiService::steadyNanoseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Real-time thread: copies bytes, nothing else.
int JackMidiService::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackMidiService*>(arg);
    const bool missed = self->missedCycles(frames);
    // A message placed in the cycle before may never have reached its destination.
    if (missed && self->m_sysexPlacedUnchecked) {
        self->m_sysexMayBeLost.fetch_add(1, std::memory_order_relaxed);
    }
    self->m_sysexPlacedUnchecked = false;
    const bool torn = !self->takeInput(frames);
    if (torn) {
        self->m_lateReads.fetch_add(1, std::memory_order_relaxed);
    }
    // A late read is our own client's lateness too, and may have cost bytes as a miss does.
    if (missed || torn) {
        // The time first: whoever sees the count move reads a time that belongs to it.
        self->m_lastMissAt.store(steadyNanoseconds(), std::memory_order_relaxed);
        self->m_missedCycles.fetch_add(1, std::memory_order_release);
        sem_post(self->m_inReady.get());
    }
    self->placeOutput(frames);
    self->m_cycles.fetch_add(1, std::memory_order_release);
    return 0;
}

bool JackMidiService::missedCycles(jack_nframes_t frames) {
    const jack_nframes_t start = jack_last_frame_time(m_client.get());
    // Only our own client's missed cycles: JACK's xrun callback may be any client's or the
    // driver's, which costs our input and output nothing.
    bool missed = false;
    if (m_cycleSeen) {
        const jack_nframes_t step = start - m_lastCycleStart; // wraps as JACK's frames do
        missed = step > m_lastCycleFrames;
        m_frame += step;
    }
    m_cycleSeen = true;
    m_lastCycleStart = start;
    m_lastCycleFrames = frames;
    return missed;
}

bool JackMidiService::takeInput(jack_nframes_t frames) {
    void* in = jack_port_get_buffer(m_in, frames);
    const uint32_t count = jack_midi_get_event_count(in);
    // Events the sender's port could not hold (jackd2 counts them in the buffer we read).
    if (jack_midi_get_lost_event_count(in) != 0) {
        m_inputOverruns.fetch_add(1, std::memory_order_relaxed);
    }
    bool arrived = false;
    bool whole = true;
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0) {
            whole = false; // the buffer was emptied under us
            continue;
        }
        if (event.size == 0) {
            continue;
        }
        const auto size = static_cast<uint32_t>(event.size);
        if (jack_ringbuffer_write_space(m_inRing.get()) < sizeof size + size) {
            m_inputOverruns.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        jack_ringbuffer_write(m_inRing.get(), reinterpret_cast<const char*>(&size), sizeof size);
        jack_ringbuffer_write(m_inRing.get(), reinterpret_cast<const char*>(event.buffer), size);
        arrived = true;
    }
    if (arrived) {
        sem_post(m_inReady.get());
    }
    // With one connection jackd2 hands us the sender's own output buffer, which the sender
    // clears and fills again in the next cycle. jackd2's last frame time moves on as that cycle
    // begins: if it did since this callback began, what we copied may mix two cycles' events
    // (some lost, some twice), and no step between our callbacks would tell. PipeWire copies
    // the input into a buffer of ours and keeps the frame time still during our callback.
    std::atomic_thread_fence(std::memory_order_acquire);
    return whole && jack_last_frame_time(m_client.get()) == m_lastCycleStart;
}

void JackMidiService::placeOutput(jack_nframes_t frames) {
    void* out = jack_port_get_buffer(m_out, frames);
    jack_midi_clear_buffer(out);
    m_maxEventSize.store(jack_midi_max_event_size(out), std::memory_order_relaxed);
    const double rate = m_sampleRate.load(std::memory_order_relaxed);
    jack_nframes_t offset = 0; // events of a cycle stand in time order
    for (;;) {
        OutputHeader header;
        const std::size_t available = jack_ringbuffer_read_space(m_outRing.get());
        if (available < sizeof header) {
            break;
        }
        jack_ringbuffer_peek(m_outRing.get(), reinterpret_cast<char*>(&header), sizeof header);
        if (available < sizeof header + header.size) {
            break; // the producer is still writing it
        }
        if (header.sysex) {
            // Whole frames, rounded up: never a pause shorter than asked.
            const auto pause =
                static_cast<uint64_t>(std::ceil(std::max(0.0, header.pauseBefore) * rate));
            const uint64_t due = m_sysexEndFrame + pause;
            if (due >= m_frame + frames) {
                break; // its pause ends in a later cycle
            }
            offset =
                std::max(offset, static_cast<jack_nframes_t>(due > m_frame ? due - m_frame : 0));
        }
        jack_midi_data_t* data = jack_midi_event_reserve(out, offset, header.size);
        if (data == nullptr) {
            break; // no room left in this cycle; the next one takes it
        }
        jack_ringbuffer_read_advance(m_outRing.get(), sizeof header);
        jack_ringbuffer_read(m_outRing.get(), reinterpret_cast<char*>(data), header.size);
        if (header.sysex) {
            const double cable =
                std::chrono::duration<double>(midi::timeAtSpeed(header.size, midi::kFullSpeed))
                    .count();
            m_sysexEndFrame = m_frame + offset + static_cast<uint64_t>(std::ceil(cable * rate));
            m_sysexPlacedUnchecked = true;
        }
        m_handedOver.store(header.sequence, std::memory_order_release);
    }
}

// May run in a signal handler: only a flag and a semaphore post. The receiving thread does the
// rest.
void JackMidiService::shutdown(void* arg) {
    auto* self = static_cast<JackMidiService*>(arg);
    self->m_serverGone = true;
    sem_post(self->m_inReady.get());
}

// Some client of the graph, or the driver, was late: JACK says so to every client. It costs
// our input nothing unless our own client missed a cycle, which the process callback sees for
// itself; counted only, for a debug look.
int JackMidiService::xrun(void* arg) {
    static_cast<JackMidiService*>(arg)->m_graphXruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}
