#pragma once

#include "MidiService.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// What every backend shares: clients, ports and connections as bookkeeping, endpoint
// references that stay tied to one endpoint's name, delivery of incoming packets to the read
// callbacks, the SysEx send queue with its cable-time pacing and completions, and setup-change
// notifications found by comparing endpoint lists (so this program's own ports never count).
//
// A backend supplies the endpoint lists, routing of a source to its input, and the hand-over
// of bytes; it calls deliver() with what arrives and setupMayHaveChanged() when its MIDI
// system says something changed. The base's threads call the backend: the backend starts them
// once it is ready (startServiceThreads) and stops them first thing in its destructor
// (stopServiceThreads), before anything they call goes.
class MidiServiceBase : public MidiService {
public:
    struct EndpointId {
        std::string manufacturer; // the owning client's name
        std::string name;         // the port's name
        bool operator==(const EndpointId&) const = default;
        auto operator<=>(const EndpointId&) const = default;
    };

    MidiServiceBase() = default;
    // A backend has stopped the threads already; this is only the last resort.
    ~MidiServiceBase() override;

    MidiStatus clientCreate(std::string_view name, MIDINotifyProc notifyProc, void* notifyRefCon,
                            MIDIClientRef* outClient) override;
    MidiStatus clientDispose(MIDIClientRef client) override;
    std::size_t numberOfSources() override;
    std::size_t numberOfDestinations() override;
    MIDIEndpointRef source(std::size_t index) override;
    MIDIEndpointRef destination(std::size_t index) override;
    std::string stringProperty(MIDIEndpointRef endpoint, EndpointProperty property) override;
    MidiStatus inputPortCreate(MIDIClientRef client, std::string_view name, MIDIReadProc readProc,
                               void* refCon, MIDIPortRef* outPort) override;
    MidiStatus outputPortCreate(MIDIClientRef client, std::string_view name,
                                MIDIPortRef* outPort) override;
    MidiStatus portDispose(MIDIPortRef port) override;
    MidiStatus portConnectSource(MIDIPortRef port, MIDIEndpointRef source,
                                 void* connRefCon) override;
    MidiStatus portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) override;
    MidiStatus send(MIDIPortRef port, MIDIEndpointRef destination, MidiPacketList packets) override;
    MidiStatus sendSysex(MIDISysexSendRequest* request) override;
    void cancelSysex(MIDISysexSendRequest* request) override;
    std::string lastErrorText() override;
    void lookAtLosses(MIDIEndpointRef source) override;

    static inline const std::string kProgramName{midi::kProgramName};

protected:
    // Current endpoints of other programs, in the MIDI system's order.
    virtual std::vector<EndpointId> currentSources() = 0;
    virtual std::vector<EndpointId> currentDestinations() = 0;
    // Start or stop routing a source's data to this program's input.
    virtual MidiStatus routeSource(const EndpointId& source, bool connect) = 0;
    // Short messages: queue them for sending at once, in order.
    virtual MidiStatus sendShort(const EndpointId& destination, MidiPacketList packets) = 0;
    // One SysEx message: return once the bytes have been handed over (or refused).
    // `pauseBefore` is the request's (see MIDISysexSendRequest).
    virtual MidiStatus handOverSysex(const EndpointId& destination, std::span<const uint8_t> bytes,
                                     double pauseBefore) = 0;

    // How many bytes of a SysEx message go in one hand-over at full speed; the next part waits
    // for the time the one before takes on the cable. A message in parts can be cut short and
    // closed. SIZE_MAX: the whole message at once.
    virtual std::size_t fullSpeedPart() const { return SIZE_MAX; }

    // Inside handOverSysex: when the hand-over of the message (or, below full speed, of this
    // part of it) began (the send queue's thread only).
    std::chrono::steady_clock::time_point handOverBegan() const { return m_handOverBegan; }

    // From the backend's receiving thread. `from` is the sending endpoint when the backend
    // knows it; without it the packets go to every connection.
    void deliver(const std::optional<EndpointId>& from, MidiPacketList packets);
    // News of a connection (bytes lost, source gone) in the order of its bytes.
    void deliverNews(const std::optional<EndpointId>& from, MidiPacketKind kind,
                     std::string_view detail = {}, uint64_t timeStamp = 0);
    // Delivers news of the source's losses that the MIDI system's accounts show and that were
    // not told yet: when asked (lookAtLosses), and before the source is disconnected from its
    // last port, so that the news still reaches that port's reader.
    virtual void tellLosses(const EndpointId&) {}
    // The system's reason for the failure the backend is about to return.
    void setErrorText(std::string text);
    // From any thread but a real-time one.
    void setupMayHaveChanged();

    // The threads of the SysEx queue and the setup-change notifications, which call the
    // backend. Stopping threads that never started, or stopping twice, does nothing.
    void startServiceThreads();
    void stopServiceThreads();

private:
    struct Port {
        MIDIClientRef client = 0;
        bool input = false;
        MIDIReadProc readProc = nullptr;
        void* refCon = nullptr;
        std::map<MIDIEndpointRef, void*> connections; // source -> connection context
    };
    // Other programs' endpoints, sorted: a change is a name that came or went.
    struct Snapshot {
        std::vector<EndpointId> sources, destinations;
        bool operator==(const Snapshot&) const = default;
    };
    struct Client {
        MIDINotifyProc notifyProc = nullptr;
        void* refCon = nullptr;
        Snapshot seen; // the endpoints as the client last learnt of them
    };

    MIDIEndpointRef refFor(const EndpointId& id, bool isSource); // m_mutex held
    std::optional<EndpointId> endpointOf(MIDIEndpointRef ref, bool* isSource = nullptr);
    Snapshot snapshot();
    // The endpoints that are offered: those of other copies of this program left out.
    static std::vector<EndpointId> listed(std::vector<EndpointId> endpoints);
    // Tells each connection whose source is not among `sources` that it has gone.
    void reportGoneSources(const std::vector<EndpointId>& sources);
    // Hands a message over in parts of `part` bytes at the request's speed; a cancel closes it
    // with 0xF7 after the part under way.
    MidiStatus handOverInParts(const EndpointId& destination, MIDISysexSendRequest& request,
                               std::size_t part);
    // A timed wait that the service's end or a cancel of the request in hand cuts short
    // (false then).
    bool waitUntil(std::chrono::steady_clock::time_point until);
    bool cancelled();
    // Waits out a message's cable time (a cancel ends it early); false when its destination
    // went away meanwhile.
    bool waitForCable(std::chrono::steady_clock::time_point until, MIDIEndpointRef destination);
    void sysexLoop();
    void notifyLoop();

    std::mutex m_mutex; // clients, ports, endpoint references
    MIDIObjectRef m_nextRef = 1;
    std::map<MIDIClientRef, Client> m_clients;
    std::map<MIDIPortRef, Port> m_ports;
    std::map<std::pair<bool, EndpointId>, MIDIEndpointRef> m_endpointRefs;
    std::map<MIDIEndpointRef, std::pair<bool, EndpointId>> m_endpoints;

    // Held while read callbacks run, so that a disconnect can wait for a delivery under way.
    std::mutex m_deliveryMutex;
    struct DeliveryTarget {
        MIDIReadProc proc;
        void* refCon;
        void* connRefCon;
    };
    std::vector<DeliveryTarget> m_targets; // m_deliveryMutex held
    // Held while notification callbacks run, so that disposing a client can wait for one.
    std::mutex m_notifyMutex;
    // Held from a look at the endpoints until each client's `seen` is measured against it, so
    // that an older look never passes a newer one.
    std::mutex m_lookMutex;

    std::mutex m_threadMutex; // the queues below and the stop flag
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::deque<MIDISysexSendRequest*> m_sysexQueue;
    MIDISysexSendRequest* m_inHand = nullptr; // taken from the queue, not yet completed
    bool m_cancelInHand = false;
    std::vector<MIDISysexSendRequest*> m_cancelledInQueue;
    std::chrono::steady_clock::time_point m_handOverBegan; // the send queue's thread's
    bool m_setupChanged = false;
    uint64_t m_setupGeneration = 0; // counts the looks at the setup after a change
    std::thread m_sysexThread;
    std::thread m_notifyThread;
    std::mutex m_errorMutex;
    std::string m_errorText;
};
