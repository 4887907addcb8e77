#include "AlsaRawMidiInput.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// The name snd-seq-midi gives the port of a substream.
std::string seqPortName(snd_rawmidi_info_t* info, int card, int device, int subdevice,
                        unsigned subdevices) {
    const std::string subname = snd_rawmidi_info_get_subdevice_name(info);
    if (!subname.empty()) {
        return subname;
    }
    const std::string name = snd_rawmidi_info_get_name(info);
    const std::string number = subdevices > 1 ? "-" + std::to_string(subdevice) : "";
    if (!name.empty()) {
        return name + number;
    }
    return "MIDI " + std::to_string(card) + "-" + std::to_string(device) + number;
}

// The kernel's numbering of snd-seq-midi's ports: 256 ports a client, 8 devices a card.
constexpr int kPortsPerDevice = 256 / 8;

} // namespace

bool rawMidiSubstreamOf(int card, int port, const std::string& portName, int* device,
                        int* subdevice) {
    snd_ctl_t* opened = nullptr;
    const std::string name = "hw:" + std::to_string(card);
    if (snd_ctl_open(&opened, name.c_str(), 0) < 0) {
        return false;
    }
    const alsa::Ctl control(opened);
    snd_rawmidi_info_t* info = nullptr;
    snd_rawmidi_info_alloca(&info);
    // The numbering names the substream; its name confirms it, so that no other kind of
    // kernel port (a virtual raw MIDI port, say) is ever read from the wrong side.
    const int wantedDevice = port / kPortsPerDevice;
    const int wantedSub = port % kPortsPerDevice;
    for (int d = -1; snd_ctl_rawmidi_next_device(control.get(), &d) >= 0 && d >= 0;) {
        if (d != wantedDevice) {
            continue;
        }
        snd_rawmidi_info_set_device(info, static_cast<unsigned>(d));
        snd_rawmidi_info_set_stream(info, SND_RAWMIDI_STREAM_INPUT);
        snd_rawmidi_info_set_subdevice(info, static_cast<unsigned>(wantedSub));
        if (snd_ctl_rawmidi_info(control.get(), info) < 0) {
            return false;
        }
        const unsigned subdevices = snd_rawmidi_info_get_subdevices_count(info);
        if (seqPortName(info, card, d, wantedSub, subdevices) != portName) {
            return false;
        }
        *device = d;
        *subdevice = wantedSub;
        return true;
    }
    return false;
}

Result<std::unique_ptr<AlsaRawMidiInput>> AlsaRawMidiInput::open(int card, int device,
                                                                 int subdevice,
                                                                 std::size_t bufferBytes,
                                                                 Handlers handlers) {
    const std::string name = "hw:" + std::to_string(card) + "," + std::to_string(device) + "," +
                             std::to_string(subdevice);
    snd_rawmidi_t* opened = nullptr;
    int result = snd_rawmidi_open(&opened, nullptr, name.c_str(), SND_RAWMIDI_NONBLOCK);
    alsa::RawMidi input(result >= 0 ? opened : nullptr);
    if (result >= 0) {
        snd_rawmidi_params_t* params = nullptr;
        snd_rawmidi_params_alloca(&params);
        result = snd_rawmidi_params_current(input.get(), params);
        if (result >= 0) {
            result = snd_rawmidi_params_set_buffer_size(input.get(), params, bufferBytes);
        }
        if (result >= 0) {
            result = snd_rawmidi_params_set_avail_min(input.get(), params, 1);
        }
        if (result >= 0) {
            result = snd_rawmidi_params(input.get(), params);
        }
    }
    alsa::FileDescriptor wake(result >= 0 ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1);
    if (result >= 0 && wake.get() < 0) {
        result = -errno;
    }
    if (result < 0) {
        return failure(snd_strerror(result), result);
    }
    return std::unique_ptr<AlsaRawMidiInput>(
        new AlsaRawMidiInput(std::move(input), std::move(wake), std::move(handlers)));
}

AlsaRawMidiInput::AlsaRawMidiInput(alsa::RawMidi input, alsa::FileDescriptor wake,
                                   Handlers handlers)
    : m_input(std::move(input)), m_wake(std::move(wake)), m_handlers(std::move(handlers)),
      m_thread([this] { readLoop(); },
               [this] {
                   const uint64_t one = 1;
                   // Fails only when the counter is full, and then the thread is woken already.
                   [[maybe_unused]] const ssize_t written = write(m_wake.get(), &one, sizeof one);
               }) {}

void AlsaRawMidiInput::readLoop() {
    const int count = snd_rawmidi_poll_descriptors_count(m_input.get());
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    snd_rawmidi_poll_descriptors(m_input.get(), fds.data(), static_cast<unsigned>(count));
    fds.back() = pollfd{m_wake.get(), POLLIN, 0};
    std::vector<uint8_t> chunk(64 * 1024);
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            m_handlers.gone();
            return;
        }
        if (fds.back().revents != 0) {
            return; // asked to stop
        }
        // Drain what is there before anything else.
        for (;;) {
            const ssize_t n = snd_rawmidi_read(m_input.get(), chunk.data(), chunk.size());
            if (n > 0) {
                m_handlers.bytes({chunk.data(), static_cast<std::size_t>(n)});
                continue;
            }
            if (n == -EAGAIN || n == 0) {
                break;
            }
            m_handlers.gone(); // -ENODEV and the like: the device is not there any more
            return;
        }
        if (!lookedAtLosses()) {
            m_handlers.gone();
            return;
        }
    }
}

bool AlsaRawMidiInput::lookedAtLosses() {
    // The kernel clears its count as it is read: held until the news is delivered, so that a
    // look that finds none knows an earlier one's news has arrived.
    std::lock_guard looking(m_lookMutex);
    snd_rawmidi_status_t* status = nullptr;
    snd_rawmidi_status_alloca(&status);
    // The kernel counts every byte it dropped for want of room since the last look.
    if (snd_rawmidi_status(m_input.get(), status) < 0) {
        return false;
    }
    if (snd_rawmidi_status_get_xruns(status) > 0) {
        m_handlers.lost();
    }
    return true;
}

void AlsaRawMidiInput::lookAtLosses() {
    // A device that has gone says so on the reader's thread.
    static_cast<void>(lookedAtLosses());
}
