#pragma once

#include "AlsaHandles.h"
#include "core/Result.h"
#include "midiinterface/StoppingThread.h"

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

// Reads one raw MIDI input substream (hw:CARD,DEVICE,SUBDEVICE) on a thread of its own, with
// a kernel buffer far larger than the default 4 KiB, drained in large reads: a USB instrument
// sends much faster than a MIDI cable, and the sequencer's reader for such a port overflows
// without telling anyone. Every byte the kernel had to drop is counted by it (xruns) and
// reported here.
class AlsaRawMidiInput {
public:
    struct Handlers {
        std::function<void(std::span<const uint8_t>)> bytes;
        std::function<void()> lost; // the kernel dropped bytes before the next ones
        std::function<void()> gone; // the device went away (a USB cable pulled)
    };

    // The kernel's largest raw MIDI buffer.
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

    // Fails, with the system's negative error code (-EBUSY: held by another program), when
    // the substream cannot be opened.
    static Result<std::unique_ptr<AlsaRawMidiInput>>
    open(int card, int device, int subdevice, std::size_t bufferBytes, Handlers handlers);
    AlsaRawMidiInput(const AlsaRawMidiInput&) = delete;
    AlsaRawMidiInput& operator=(const AlsaRawMidiInput&) = delete;
    // Its thread stops first: no handler runs after it returns.
    ~AlsaRawMidiInput() { m_thread.end(); }
    // Reports bytes the kernel dropped since the last look, from any thread.
    void lookAtLosses();

private:
    AlsaRawMidiInput(alsa::RawMidi input, alsa::FileDescriptor wake, Handlers handlers);
    void readLoop();
    // False when the device cannot be asked (it went away).
    [[nodiscard]] bool lookedAtLosses();

    alsa::RawMidi m_input;
    alsa::FileDescriptor m_wake; // an eventfd that ends the thread
    Handlers m_handlers;
    std::mutex m_lookMutex; // a look at the kernel's count of dropped bytes, and its news
    StoppingThread m_thread;
};

// Which raw MIDI substream a sequencer port of snd-seq-midi stands for: the port of a card's
// kernel client is numbered 32 × device + subdevice, and named after the substream. Checked
// against the card's raw MIDI devices through the control interface. False when the port is
// not one of those.
bool rawMidiSubstreamOf(int card, int port, const std::string& portName, int* device,
                        int* subdevice);
