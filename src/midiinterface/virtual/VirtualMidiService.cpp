#include "VirtualMidiService.h"

#include <algorithm>

VirtualMidiService::VirtualMidiService() {
    m_player = StoppingThread([this] { playLoop(); },
                              [this] {
                                  {
                                      std::lock_guard lock(m_mutex);
                                      m_stop = true;
                                  }
                                  m_changed.notify_all();
                              });
    startServiceThreads();
}

VirtualMidiService::~VirtualMidiService() {
    stopServiceThreads();
    m_player.end();
}

bool VirtualMidiService::exists(const std::vector<EndpointId>& list, const EndpointId& id) {
    return std::find(list.begin(), list.end(), id) != list.end();
}

void VirtualMidiService::addSource(const EndpointId& id) {
    {
        std::lock_guard lock(m_mutex);
        m_sources.push_back(id);
    }
    setupMayHaveChanged();
}

void VirtualMidiService::addDestination(const EndpointId& id) {
    {
        std::lock_guard lock(m_mutex);
        m_destinations.push_back(id);
    }
    setupMayHaveChanged();
}

void VirtualMidiService::removeSource(const EndpointId& id) {
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_sources, id);
    }
    setupMayHaveChanged();
}

void VirtualMidiService::removeDestination(const EndpointId& id) {
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_destinations, id);
    }
    setupMayHaveChanged();
}

void VirtualMidiService::play(const EndpointId& source, std::vector<Delivery> deliveries,
                              std::chrono::milliseconds pauseBefore) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(Job{source, std::move(deliveries), pauseBefore});
    }
    m_changed.notify_all();
}

void VirtualMidiService::playBytes(const EndpointId& source, const Bytes& bytes, std::size_t chunk,
                                   std::chrono::milliseconds pauseBefore) {
    std::vector<Delivery> deliveries;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const std::size_t n = std::min(chunk, bytes.size() - at);
        deliveries.push_back({Bytes(bytes.begin() + at, bytes.begin() + at + n)});
    }
    play(source, std::move(deliveries), pauseBefore);
}

void VirtualMidiService::waitUntilPlayed() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_playing; });
}

void VirtualMidiService::playLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_stop) {
            return;
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_playing = true;
        const bool present = exists(m_sources, job.source);
        lock.unlock();
        std::this_thread::sleep_for(job.pauseBefore);
        for (const Delivery& delivery : job.deliveries) {
            if (!present) {
                break;
            }
            std::vector<MidiPacket> packets;
            for (const Bytes& bytes : delivery) {
                packets.push_back(MidiPacket{0, bytes});
            }
            deliver(job.source, packets);
        }
        lock.lock();
        m_playing = false;
        m_changed.notify_all();
    }
}

std::vector<VirtualMidiService::Received>
VirtualMidiService::received(const EndpointId& destination) {
    std::lock_guard lock(m_mutex);
    return m_received[destination];
}

void VirtualMidiService::refuseSysex(bool refuse) {
    std::lock_guard lock(m_mutex);
    m_refuseSysex = refuse;
}

std::vector<MidiServiceBase::EndpointId> VirtualMidiService::currentSources() {
    std::lock_guard lock(m_mutex);
    return m_sources;
}

std::vector<MidiServiceBase::EndpointId> VirtualMidiService::currentDestinations() {
    std::lock_guard lock(m_mutex);
    return m_destinations;
}

MidiStatus VirtualMidiService::routeSource(const EndpointId& source, bool connect) {
    std::lock_guard lock(m_mutex);
    return !connect || exists(m_sources, source) ? MidiStatus::ok : MidiStatus::noSuchObject;
}

MidiStatus VirtualMidiService::sendShort(const EndpointId& destination, MidiPacketList packets) {
    std::lock_guard lock(m_mutex);
    if (!exists(m_destinations, destination)) {
        return MidiStatus::noSuchObject;
    }
    Received list{{}, false, packets.size(), Clock::now()};
    for (const MidiPacket& packet : packets) {
        list.bytes.insert(list.bytes.end(), packet.bytes.begin(), packet.bytes.end());
    }
    m_received[destination].push_back(std::move(list));
    return MidiStatus::ok;
}

MidiStatus VirtualMidiService::handOverSysex(const EndpointId& destination,
                                             std::span<const uint8_t> bytes, double) {
    std::lock_guard lock(m_mutex);
    if (m_refuseSysex) {
        return MidiStatus::serviceFailed;
    }
    if (!exists(m_destinations, destination)) {
        return MidiStatus::noSuchObject;
    }
    m_received[destination].push_back(
        Received{Bytes(bytes.begin(), bytes.end()), true, 1, handOverBegan()});
    return MidiStatus::ok;
}
