#pragma once

#include "MidiService.h"
#include "core/event.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Records the SysEx messages that one MIDI source sends: between recordOn and recordOff every
// packet from the source goes through the parser, which assembles the bytes from 0xF0 to 0xF7
// into whole messages and appends them to the caller's list. Everything else is dropped.
class TQMidiInterfaceReceiver {
public:
    static uint16_t SourceNumber(MidiService& service);
    static std::string SourceNameAt(MidiService& service, uint16_t index);
    // The source whose endpoint name is `name`, or 0: resolves what a menu showed.
    static MIDIEndpointRef SourceNamed(MidiService& service, std::string_view name);

    static std::shared_ptr<TQMidiInterfaceReceiver>
    TQMidiInterfaceReceiverWithClient(MidiService& service, MIDIClientRef client,
                                      uint16_t sourceIndex);

    // Opens the input port; the source is not connected until recordOn.
    TQMidiInterfaceReceiver(MidiService& service, MIDIClientRef client, MIDIEndpointRef source);
    TQMidiInterfaceReceiver(const TQMidiInterfaceReceiver&) = delete;
    TQMidiInterfaceReceiver& operator=(const TQMidiInterfaceReceiver&) = delete;
    ~TQMidiInterfaceReceiver();

    // Empties the list, waits 600 ms, then connects the source. The list belongs to the
    // receiver until recordOff has returned.
    void recordOn(Dump& list);
    // True when a recording began and ended after 300 ms of silence; false when none began
    // within `seconds`. The source is disconnected in both cases.
    bool waitForRecordOffWithTimeout(uint16_t seconds);
    // Disconnects, then waits 300 ms.
    void recordOff();
    bool didRecordingBegin() const;
    // Whether any SysEx byte arrived during a 300 ms pause.
    bool isStillRecording();

    // The parser: `list` is the destination list (a Dump).
    void readData(void* list, MidiPacketList packets);
    // True when a message or the whole recording outgrew what a dump may hold; the message
    // that did so was dropped.
    bool didOverflow() const { return m_overflowed; }

    // Bounds on what a source can make us hold; far above any real dump.
    static constexpr std::size_t kMaxMessageBytes = std::size_t{64} << 20;
    static constexpr std::size_t kMaxDumpBytes = std::size_t{1} << 30;

    static void MidiReadProc(MidiPacketList packets, void* readProcRefCon, void* srcConnRefCon);

    MidiService& m_service;
    MIDIClientRef m_client = 0;
    MIDIPortRef m_port = 0;
    MIDIEndpointRef m_source = 0;
    std::atomic<bool> m_isStillRecording{false};
    std::atomic<bool> m_didRecordingBegin{false};
    std::unique_ptr<midi::event> m_event;

private:
    // 0xF0 inside a message, 0xF7 after one, else the last other status byte. Each recording
    // starts clean, so bytes left from an earlier, cut-off recording are never stored.
    uint8_t m_status = 0;
    std::size_t m_recordedBytes = 0;
    std::atomic<bool> m_overflowed{false};
};
