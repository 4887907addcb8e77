#pragma once

#include "core/MidiConstants.h"
#include "core/Result.h"
#include "core/event.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// The MIDI service as the receiver and transmitter see it: the few operations they need from
// the platform, in the shape of CoreMIDI's. Backends (ALSA sequencer, JACK, an in-process
// virtual service for tests) implement it. Errors are values, never exceptions.

using MIDIObjectRef = uint32_t; // 0 is no object
using MIDIClientRef = MIDIObjectRef;
using MIDIPortRef = MIDIObjectRef;
using MIDIEndpointRef = MIDIObjectRef;

enum class [[nodiscard]] MidiStatus{
    ok,
    invalidArgument,
    noSuchObject,  // an endpoint that has gone, a port or client that does not exist
    tooLarge,      // a message larger than the service can carry in one piece
    serviceFailed, // the MIDI system refused or went away
    busy,          // held by another program
};

// What a delivered packet says: bytes, or news of the connection in the order of its bytes.
enum class MidiPacketKind {
    bytes,
    bytesLost,    // the MIDI system dropped bytes of this source before this point
    sourceGone,   // the source went away: nothing more will come
    cyclesMissed, // the MIDI system missed processing cycles at timeStamp; bytes may be lost
};

// A run of bytes that arrived together. Only news of missed cycles carries a time stamp (of
// std::chrono::steady_clock, in nanoseconds).
struct MidiPacket {
    uint64_t timeStamp = 0;
    std::span<const uint8_t> bytes;
    MidiPacketKind kind = MidiPacketKind::bytes;
    // News: bytesLost of an input shared with another program names it (OtherProgram).
    std::string_view detail = {};
};
using MidiPacketList = std::span<const MidiPacket>;

inline constexpr uint32_t kMIDIMsgSetupChanged = 1;
struct MidiNotification {
    uint32_t messageID = 0;
};

enum class EndpointProperty { manufacturer, displayName };

// Called on a service thread, once per delivery, never for one port on two threads at once.
using MIDIReadProc = void (*)(MidiPacketList packets, void* readProcRefCon, void* srcConnRefCon);
// Called on a service thread (not the caller's); the receiver must hand it to its own thread.
using MIDINotifyProc = void (*)(const MidiNotification& notification, void* refCon);

struct MIDISysexSendRequest;
using MIDICompletionProc = void (*)(MIDISysexSendRequest* request);

// One SysEx message to send asynchronously. The completion proc is called exactly once for
// every request that sendSysex accepted, on the service's completion thread, and no earlier
// than one MIDI cable byte time (320 µs) per byte after the hand-over began, so that an
// instrument on a 31,250-baud cable has the message before the next one is handed over.
// `status` tells whether the bytes were handed over.
//
// `pauseBefore` is the pause the message must keep after the previous message's last byte
// crossed the cable; the sender waits it out itself, and a service that places messages at a
// clock of its own (JACK's frames) also keeps it to that clock, so that no pause comes out
// shorter there.
//
// `bytesPerSecond` below full speed (midi::kFullSpeed) hands the bytes over in parts of
// midi::speedPart, each after the previous part's share of time, and completes no earlier
// than the whole message's share after the hand-over began; nothing else goes out of the port
// meanwhile. Only a service that can send slower (canSendSlower) accepts it.
//
// cancelSysex ends a request early: a message whose bytes are going out in parts is closed at
// once with 0xF7 after the part under way, so that the instrument's SysEx never stays open,
// and the completion comes without waiting out the rest of the cable time.
// `bytesHandedOver` then tells how far it got (the closing 0xF7 not counted).
struct MIDISysexSendRequest {
    MIDIEndpointRef destination = 0;
    const uint8_t* data = nullptr;
    uint32_t bytesToSend = 0;
    double pauseBefore = 0.0; // seconds
    uint32_t bytesPerSecond = midi::kFullSpeed;
    std::atomic<bool> complete{false};
    MIDICompletionProc completionProc = nullptr;
    void* completionRefCon = nullptr;
    MidiStatus status = MidiStatus::ok;
    // Set at completion: bytesToSend, unless a cancel or a failure came first.
    uint32_t bytesHandedOver = 0;
};

using midi::kByteTimeMicroseconds;

class MidiService {
public:
    virtual ~MidiService() = default;

    // A name for messages: "alsa", "jack", "virtual", "none".
    virtual std::string_view apiName() const = 0;

    virtual MidiStatus clientCreate(std::string_view name, MIDINotifyProc notifyProc,
                                    void* notifyRefCon, MIDIClientRef* outClient) = 0;
    // Ends the client and every port opened on it; no callback runs after it returns.
    virtual MidiStatus clientDispose(MIDIClientRef client) = 0;

    // Other programs' endpoints, never this program's own ports.
    virtual std::size_t numberOfSources() = 0;
    virtual std::size_t numberOfDestinations() = 0;
    // A reference that keeps naming the same endpoint while others come and go; 0 for an
    // index out of range.
    virtual MIDIEndpointRef source(std::size_t index) = 0;
    virtual MIDIEndpointRef destination(std::size_t index) = 0;
    // "" for a property or endpoint that does not exist.
    virtual std::string stringProperty(MIDIEndpointRef endpoint, EndpointProperty property) = 0;

    virtual MidiStatus inputPortCreate(MIDIClientRef client, std::string_view name,
                                       MIDIReadProc readProc, void* refCon,
                                       MIDIPortRef* outPort) = 0;
    virtual MidiStatus outputPortCreate(MIDIClientRef client, std::string_view name,
                                        MIDIPortRef* outPort) = 0;
    // Disconnects and releases the port; no read callback runs for it after it returns.
    virtual MidiStatus portDispose(MIDIPortRef port) = 0;

    // Starts delivery of the source's data. A failure (a source that has gone, one held by
    // another program) is said at once; lastErrorText() then gives the system's reason.
    virtual MidiStatus portConnectSource(MIDIPortRef port, MIDIEndpointRef source,
                                         void* connRefCon) = 0;
    // No read callback runs for this connection after it returns.
    virtual MidiStatus portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) = 0;

    // Sends short messages at once, in order.
    virtual MidiStatus send(MIDIPortRef port, MIDIEndpointRef destination,
                            MidiPacketList packets) = 0;
    // Queues a SysEx message; see MIDISysexSendRequest. Only a malformed request is refused
    // here; every other failure is reported through the request's status.
    virtual MidiStatus sendSysex(MIDISysexSendRequest* request) = 0;
    // Ends a request that sendSysex accepted as soon as it can (see MIDISysexSendRequest);
    // nothing for one that has completed. Its completion still comes exactly once.
    virtual void cancelSysex(MIDISysexSendRequest* request) = 0;

    // The MIDI system's own words for the last failure of this service ("" when it gave none).
    virtual std::string lastErrorText() = 0;

    // The largest SysEx message the service carries, since it carries each in one piece (JACK:
    // one event); SIZE_MAX when any size goes.
    virtual std::size_t largestSysex() { return SIZE_MAX; }
    // How long before its pause after the previous message ends a SysEx message may be handed
    // over: a service that keeps pauses to a clock of its own (JACK's frames) holds it until
    // its frame comes, so that the pause is exact there. 0 for the others.
    virtual double sysexLeadSeconds() { return 0.0; }
    // Whether a SysEx message can be handed over in parts, slower than the cable: not where
    // a message travels as one event (JACK).
    virtual bool canSendSlower() { return true; }
    // Why `dump` cannot be sent over this MIDI system at this speed, in the system's own words
    // (a message larger than it carries in one piece, a speed it cannot keep); nothing when it
    // can. Asked before anything goes out.
    virtual Result<void> refusal(const Dump& /*dump*/, uint32_t /*bytesPerSecond*/) { return {}; }
    // Delivers now, as news on the source's connections, every loss of its bytes that the MIDI
    // system's accounts show and that was not told yet (bytes dropped, cycles missed): a
    // receiver asks before it words the end of a recording, since such an account can move
    // after the bytes that the loss cut short were delivered.
    virtual void lookAtLosses(MIDIEndpointRef /*source*/) {}
    // How many SysEx messages so far were handed over just before this program's client
    // missed processing cycles, so that they may not have arrived; counts up. 0 for a service
    // without cycles.
    virtual uint64_t sysexMayBeLost() { return 0; }
};

// The endpoint's name as the menus show it: "manufacturer: display name".
std::string endpointName(MidiService& service, MIDIEndpointRef endpoint);
// The source (or destination) with that name now, or 0.
MIDIEndpointRef endpointNamed(MidiService& service, std::string_view name, bool source);
