#pragma once

#include "JackHandles.h"
#include "core/Result.h"
#include "midiinterface/MidiServiceBase.h"
#include "midiinterface/StoppingThread.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The MIDI service on a JACK server. Endpoints are other clients' JACK MIDI ports
// (manufacturer = client name, display name = port name). This program has one input port,
// "InPort", to which the chosen source is connected, and one output port, "OutPort",
// connected to the destination it sends to.
//
// JACK's process callback is real-time: it only moves bytes between the JACK port buffers and
// two lock-free ring buffers. A receiving thread of our own hands incoming data to the read
// callbacks; the send queue's thread writes outgoing data and waits for the process callback
// to hand it over. A SysEx message is placed at its own frame inside a cycle: its pause after
// the previous message's cable time, counted in frames, so no pause comes out shorter than
// asked.
//
// A missed cycle is a step of the frame time from one of our process callbacks to the next
// that is larger than a period: our own client was not run in a cycle, and the input of that
// cycle may be gone. So is a late read: the next cycle began while the callback still copied
// its input, which on jackd2 is the sender's own buffer, refilled in that cycle. JACK's xrun
// callback is not one: it reports any client's lateness and the driver's, which delay the
// graph but cost our input nothing (README, "JACK servers").
// Incoming, a miss is news with its time (the receiver decides whether it can have cost a byte
// of the dump); outgoing, the messages placed in the cycle before it may not have arrived, and
// are counted.
class JackMidiService : public MidiServiceBase {
public:
    // Fails with the reason when no JACK server runs (none is started).
    static Result<std::unique_ptr<JackMidiService>> open(std::string_view clientName);
    ~JackMidiService() override;

    std::string_view apiName() const override { return "jack"; }

    // Cycles our own client missed, and JACK's reports of lateness anywhere in the graph (any
    // client's or the driver's, which cost our input nothing).
    uint64_t missedCycles() const { return m_missedCycles; }
    // Of those, cycles whose input was still being read when the next one began.
    uint64_t lateReads() const { return m_lateReads; }
    uint64_t graphXruns() const { return m_graphXruns; }
    // Incoming events that did not fit the input ring and were lost.
    uint64_t inputOverruns() const { return m_inputOverruns; }
    // Below what the server reports: a message of exactly its reported maximum crashes
    // PipeWire's JACK.
    static constexpr std::size_t kEventSizeMargin = 16;
    std::size_t largestSysex() override;
    // A message travels as one event: it cannot be handed over in parts.
    bool canSendSlower() override { return false; }
    Result<void> refusal(const Dump& dump, uint32_t bytesPerSecond) override;
    uint64_t sysexMayBeLost() override { return m_sysexMayBeLost.load(); }
    // Two periods: the message is in our ring before the cycle that holds its frame begins.
    double sysexLeadSeconds() override;

protected:
    std::vector<EndpointId> currentSources() override;
    std::vector<EndpointId> currentDestinations() override;
    MidiStatus routeSource(const EndpointId& source, bool connect) override;
    MidiStatus sendShort(const EndpointId& destination, MidiPacketList packets) override;
    MidiStatus handOverSysex(const EndpointId& destination, std::span<const uint8_t> bytes,
                             double pauseBefore) override;

private:
    explicit JackMidiService(jack_client_t* client);
    Result<void> start();

    static int process(jack_nframes_t frames, void* self);
    static void portRegistered(jack_port_id_t, int, void* self);
    static void clientRegistered(const char*, int, void* self);
    static void shutdown(void* self);
    static int xrun(void* self);

    // One message in the output ring, before its bytes.
    struct OutputHeader {
        uint64_t sequence;
        uint32_t size;
        bool sysex;         // placed at its pause after the previous SysEx; else at once
        double pauseBefore; // seconds
    };
    static uint64_t steadyNanoseconds();

    // The process callback's parts (JackProcess.cpp).
    // False when what it copied may be torn: the next cycle began while it read.
    bool takeInput(jack_nframes_t frames);
    bool missedCycles(jack_nframes_t frames); // also keeps the 64-bit frame count
    void placeOutput(jack_nframes_t frames);
    std::vector<EndpointId> ports(unsigned long flags);
    void receiveLoop();
    // News of input overruns and missed cycles counted since they were last told.
    void tellCountedLosses();
    void tellLosses(const EndpointId&) override { tellCountedLosses(); }
    // Writes one message into the output ring, in order with everything queued before it.
    // Returns its sequence number, or 0 when it could not be queued.
    uint64_t queueOutput(std::span<const uint8_t> bytes, bool sysex, double pauseBefore);
    bool waitForHandOver(uint64_t sequence);
    bool waitForCycles(int cycles);
    MidiStatus routeOutputTo(const EndpointId& destination);

    // The destructor ends the threads and closes the client (no callback runs after it) before
    // anything they use goes.
    jack::Semaphore m_inReady;
    jack::RingBuffer m_inRing;
    jack::RingBuffer m_outRing;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_serverGone{false};
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<uint64_t> m_handedOver{0};
    std::atomic<std::size_t> m_maxEventSize{0};
    std::atomic<uint64_t> m_inputOverruns{0};
    std::atomic<uint64_t> m_missedCycles{0}; // our own client's, late reads included
    std::atomic<uint64_t> m_lateReads{0};    // input still read when the next cycle began
    std::atomic<uint64_t> m_graphXruns{0};   // any client's or the driver's
    std::atomic<uint64_t> m_lastMissAt{0};   // steady clock, ns
    std::atomic<uint64_t> m_sysexMayBeLost{0};
    std::mutex m_tellMutex; // the counts told below, and their news
    uint64_t m_overrunsTold = 0;
    uint64_t m_missesTold = 0;
    std::atomic<uint32_t> m_sampleRate{48000};
    // The process callback's own.
    bool m_cycleSeen = false;
    jack_nframes_t m_lastCycleStart = 0;
    jack_nframes_t m_lastCycleFrames = 0;
    uint64_t m_frame = 0;         // the cycle's first frame, counted from our first cycle
    uint64_t m_sysexEndFrame = 0; // where the last SysEx message's cable time ends
    bool m_sysexPlacedUnchecked = false;

    jack::Client m_client;
    std::string m_ownPrefix;     // "ClientName:"
    jack_port_t* m_in = nullptr; // the client's
    jack_port_t* m_out = nullptr;
    std::mutex m_outputMutex; // producers of the output ring; the routing below
    uint64_t m_lastQueued = 0;
    std::string m_routedTo;
    StoppingThread m_receiver;
};
