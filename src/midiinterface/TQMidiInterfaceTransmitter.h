#pragma once

#include "MidiService.h"
#include "core/Result.h"
#include "core/StopSignal.h"
#include "core/event.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Sends a dump to one destination, one SysEx message at a time: each message waits its own
// offset after the previous one has completed (for the first, after transmitDump was called),
// so no two messages are ever in flight together. Creating a transmitter silences the
// instrument with All Notes Off on every channel.
class TQMidiInterfaceTransmitter {
public:
    static uint16_t DestinationNumber(MidiService& service);
    static std::string DestinationNameAt(MidiService& service, uint16_t index);
    // The destination whose endpoint name is `name`, or 0: resolves what a menu showed.
    static MIDIEndpointRef DestinationNamed(MidiService& service, std::string_view name);

    static std::shared_ptr<TQMidiInterfaceTransmitter>
    TQMidiInterfaceTransmitterWithClient(MidiService& service, MIDIClientRef client,
                                         uint16_t destinationIndex);

    // Opens the output, waits 600 ms, sends the All Notes Off burst and waits 300 ms. Every
    // byte, the burst's included, goes out no faster than `bytesPerSecond` (see
    // MIDISysexSendRequest; midi::kFullSpeed: the cable's rate). `stop`, when given, is the
    // owner's Stop, which also cuts the opening short (the burst is then not sent whole).
    TQMidiInterfaceTransmitter(MidiService& service, MIDIClientRef client,
                               MIDIEndpointRef destination,
                               uint32_t bytesPerSecond = midi::kFullSpeed,
                               StopSignal* stop = nullptr);
    TQMidiInterfaceTransmitter(const TQMidiInterfaceTransmitter&) = delete;
    TQMidiInterfaceTransmitter& operator=(const TQMidiInterfaceTransmitter&) = delete;
    // Waits for a transmission under way to end.
    ~TQMidiInterfaceTransmitter();

    // `dump` must hold at least one event and stay alive and unchanged until
    // isStillTransmitting turns false.
    void transmitDump(const Dump& dump);
    void transmitMessage(const buffer& message);
    bool isStillTransmitting() const;
    // Messages of the last transmissions that the MIDI service could not carry, or that were
    // not sent because the destination or the MIDI system went away.
    std::size_t refusedCount() const;
    // Ends the transmission at once: a message going out in parts is closed with 0xF7 after
    // the part under way (see cutShortMessage), one that went whole has arrived; the rest is
    // not sent. Safe from any thread.
    void stop();
    bool wasStopped() const { return m_stopped; }
    // The number (from 1) of the message that Stop cut short and closed; 0 when none was.
    std::size_t cutShortMessage() const { return m_cutShort; }
    // Messages of the last transmission that reached the destination whole.
    std::size_t sentCount() const { return m_sent; }
    // Messages of the last transmission that the MIDI system handed over just before it
    // missed processing cycles: they may not have arrived. Final once the transmission ended.
    std::size_t mayNotHaveArrivedCount() const;
    // The sentence for messages that may not have arrived.
    static std::string mayNotHaveArrivedText(std::size_t count, std::size_t total);

    void sendAllNotesOffOverPort(MIDIPortRef port, MIDIEndpointRef destination);

    static void SysexCompletionProc(MIDISysexSendRequest* request);

    MidiService& m_service;
    MIDIClientRef m_client = 0;
    MIDISysexSendRequest m_request;
    std::atomic<bool> m_isStillTransmitting{false};
    const Dump* m_dump = nullptr;
    uint64_t m_dumpIndex = 0;
    uint64_t m_messageToSend = 0;

private:
    // False when the service did not accept the message (it then completes at once).
    bool transmit(const buffer& message, double pauseBefore);
    void complete();
    void finish();
    // Waits out a message's offset; false as soon as the destination has gone.
    bool pauseUnlessGone(double seconds);
    // Counts the rest of the dump as not sent and ends the transmission.
    void abandon();

    StopSignal m_ownStop;
    StopSignal& m_stop; // every wait of the transmitter's
    MIDIPortRef m_port = 0;
    std::string m_destinationName; // to tell whether it is still there
    std::atomic<std::size_t> m_refused{0};
    // The output could not be opened, or the destination or the MIDI system went away.
    std::atomic<bool> m_gone{false};
    std::atomic<bool> m_stopped{false};
    std::atomic<std::size_t> m_sent{0};
    std::atomic<std::size_t> m_cutShort{0};
    uint64_t m_mayBeLostBefore = 0; // the service's count when the transmission began
};
