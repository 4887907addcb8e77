// Hardware inputs that another program's subscription holds: read through the sequencer
// beside it, with the kernel's count of the bytes it dropped watched.
#include "AlsaMidiService.h"

MidiStatus AlsaMidiService::routeSharedSource(const EndpointId& source,
                                              const std::array<int, 3>& substream) {
    {
        std::lock_guard shared(m_sharedMutex);
        if (m_sharedInputs.contains(source)) {
            return MidiStatus::ok;
        }
    }
    std::lock_guard lock(m_mutex);
    const auto address = addressOf(source);
    if (!address) {
        setErrorText("it is not there any more");
        return MidiStatus::noSuchObject;
    }
    const int result = snd_seq_connect_from(m_seq.get(), m_inPort, address->first, address->second);
    // Read after subscribing, so that only bytes dropped while we listen count.
    const auto state = readRawInputState(substream[0], substream[1], substream[2]);
    const OtherProgram holder = programWithPid(state && state->open ? state->ownerPid : 0);
    if (result == -EBUSY || result == -EAGAIN) {
        // The sequencer could not open the substream either (the kernel says EAGAIN when no
        // substream is free): a program holds the device.
        setErrorText(holder.toDetail());
        return MidiStatus::busy;
    }
    if (result < 0) {
        setErrorText(snd_strerror(result));
        return MidiStatus::serviceFailed;
    }
    if (!state || !state->open) {
        // Without the kernel's count a loss in its 4 KiB buffer would pass unseen.
        snd_seq_disconnect_from(m_seq.get(), m_inPort, address->first, address->second);
        setErrorText("another program shares it, and the kernel's count of the bytes it drops "
                     "(/proc/asound) cannot be read");
        return MidiStatus::serviceFailed;
    }
    std::lock_guard shared(m_sharedMutex);
    m_sharedInputs[source] = SharedInput{substream, state->overruns, holder};
    return MidiStatus::ok;
}

void AlsaMidiService::checkSharedInputs(const EndpointId* only) {
    // From reading a count to delivering its news: a look that finds nothing new knows that
    // what an earlier look found has reached the readers.
    std::lock_guard telling(m_tellMutex);
    std::vector<std::pair<EndpointId, std::string>> lost;
    {
        std::lock_guard lock(m_sharedMutex);
        for (auto& [id, input] : m_sharedInputs) {
            if (only != nullptr && id != *only) {
                continue;
            }
            const auto& [card, device, subdevice] = input.substream;
            const auto state = readRawInputState(card, device, subdevice);
            // A substream that is gone says so through the sequencer's announcements.
            // Each loss once, and every later one too: a series records dump after dump on
            // one connection.
            if (state && state->open && state->overruns > input.overrunsAtStart) {
                input.overrunsAtStart = state->overruns;
                lost.emplace_back(id, input.sharer.toDetail());
            }
        }
    }
    for (const auto& [id, sharer] : lost) {
        deliverNews(id, MidiPacketKind::bytesLost, sharer);
    }
}

void AlsaMidiService::tellLosses(const EndpointId& source) {
    {
        // The reader's thread looks after each read, but the end of a recording may come
        // between its read and its look.
        std::lock_guard lock(m_rawMutex);
        if (const auto it = m_rawInputs.find(source); it != m_rawInputs.end()) {
            it->second->lookAtLosses();
            return;
        }
    }
    checkSharedInputs(&source); // bytes dropped up to now count
}
