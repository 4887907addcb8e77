#pragma once

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <memory>
#include <utility>

// libasound's handles, each freed by its own call when its owner goes.
namespace alsa {

struct SeqClose {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
struct MidiEventFree {
    void operator()(snd_midi_event_t* coder) const { snd_midi_event_free(coder); }
};
struct RawMidiClose {
    void operator()(snd_rawmidi_t* rawmidi) const { snd_rawmidi_close(rawmidi); }
};
struct CtlClose {
    void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};

using Seq = std::unique_ptr<snd_seq_t, SeqClose>;
using MidiEvent = std::unique_ptr<snd_midi_event_t, MidiEventFree>;
using RawMidi = std::unique_ptr<snd_rawmidi_t, RawMidiClose>;
using Ctl = std::unique_ptr<snd_ctl_t, CtlClose>;

// A MIDI event coder of `bufferBytes`, or null.
inline MidiEvent newMidiEvent(std::size_t bufferBytes) {
    snd_midi_event_t* coder = nullptr;
    return MidiEvent(snd_midi_event_new(bufferBytes, &coder) < 0 ? nullptr : coder);
}

// A file descriptor, closed when its owner goes; -1 is none.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace alsa
