#pragma once

#include "midiinterface/MidiServiceBase.h"
#include "midiinterface/StoppingThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// An in-process MIDI service for tests: endpoints that the test creates and removes, data
// played from a source on a delivery thread of its own in exactly the packet split asked
// for, and destinations that record what they got and when. Completions of SysEx sends run
// on the service's completion thread, a different one. A test can make sends fail.
class VirtualMidiService : public MidiServiceBase {
public:
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<uint8_t>;
    // One delivery: a packet list, each packet a run of bytes.
    using Delivery = std::vector<Bytes>;

    struct Received {
        Bytes bytes; // a SysEx message, or the bytes of one short-message list
        bool sysex = false;
        std::size_t packets = 0; // packets in a short-message list
        Clock::time_point at;    // when its hand-over began: where pacing counts from
    };

    VirtualMidiService();
    ~VirtualMidiService() override;

    std::string_view apiName() const override { return "virtual"; }

    void addSource(const EndpointId& id);
    void addDestination(const EndpointId& id);
    void removeSource(const EndpointId& id);
    void removeDestination(const EndpointId& id);

    // Queues deliveries from a source, after an optional pause; they run in order.
    void play(const EndpointId& source, std::vector<Delivery> deliveries,
              std::chrono::milliseconds pauseBefore = {});
    // Convenience: the bytes in one packet per delivery, `chunk` bytes at a time.
    void playBytes(const EndpointId& source, const Bytes& bytes, std::size_t chunk,
                   std::chrono::milliseconds pauseBefore = {});
    // Returns once everything queued by play has been delivered.
    void waitUntilPlayed();

    std::vector<Received> received(const EndpointId& destination);
    // Every SysEx hand-over fails from now on (true) or succeeds again (false).
    void refuseSysex(bool refuse);

protected:
    std::vector<EndpointId> currentSources() override;
    std::vector<EndpointId> currentDestinations() override;
    MidiStatus routeSource(const EndpointId& source, bool connect) override;
    MidiStatus sendShort(const EndpointId& destination, MidiPacketList packets) override;
    MidiStatus handOverSysex(const EndpointId& destination, std::span<const uint8_t> bytes,
                             double pauseBefore) override;

private:
    struct Job {
        EndpointId source;
        std::vector<Delivery> deliveries;
        std::chrono::milliseconds pauseBefore;
    };
    void playLoop();
    bool exists(const std::vector<EndpointId>& list, const EndpointId& id);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<EndpointId> m_sources, m_destinations;
    std::map<EndpointId, std::vector<Received>> m_received;
    bool m_refuseSysex = false;
    std::deque<Job> m_jobs;
    bool m_playing = false;
    bool m_stop = false;
    StoppingThread m_player;
};
