#pragma once

#include "MidiService.h"
#include "RecordingOutcome.h"
#include "core/StopSignal.h"
#include "core/event.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

// Records the SysEx messages that one MIDI source sends: between recordOn and recordOff every
// packet from the source goes through the parser, which assembles the bytes from 0xF0 to 0xF7
// into whole messages and appends them to the caller's list. Everything else is dropped;
// real-time bytes (0xF8 to 0xFF) may stand inside a message and are skipped.
//
// Anything by which a byte of the dump may have been lost fails the recording (outcome()):
// the MIDI system's report of lost bytes, the source going away, a message cut off by another
// status byte or by the end of the recording, more than a dump may hold, a source that could
// not be connected. The first reason is kept, except that a source going away replaces missed
// cycles (its leaving can cost a cycle), and that an account of lost bytes or a source going
// away replaces a cut-off message (a lost byte cuts the message it fell in). Every account is
// looked at before a recording's end is worded. Processing cycles that our own client missed fail
// it only from 300 ms before the dump's first byte (the silence that separates dumps) on: earlier
// ones cannot have cost a byte of it.
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
    // receiver until recordOff has returned. A source that cannot be connected fails the
    // recording at once.
    void recordOn(Dump& list);
    // True when a recording began and ended after 300 ms of silence; false when none began
    // within `seconds`. Ends early when the recording failed. The source is disconnected in
    // every case.
    bool waitForRecordOffWithTimeout(uint16_t seconds);
    // Disconnects, then waits 300 ms.
    void recordOff();
    bool didRecordingBegin() const;
    // Whether any SysEx byte arrived during a 300 ms pause.
    bool isStillRecording();
    // Dump after dump on one connection: once a dump began and isStillRecording has seen its
    // 300 ms of silence (inside a message: cut off), hands over the dump recorded since recordOn or
    // the last take, with its outcome, and records on for the next one; nothing when no dump ended.
    // A failure between two dumps (bytes lost while none was coming) fails the next one: what
    // was lost may have been its beginning. A lost input, or a stop, stays failed.
    std::optional<std::pair<Dump, RecordingOutcome>> takeEndedDump();

    // The parser: `list` is the destination list (a Dump).
    void readData(void* list, MidiPacketList packets);
    // Ends the recording, or the wait for it, as a failure of its own (nothing of it is to be
    // kept), and cuts the pauses under way and to come short; safe from any thread.
    void stop() {
        fail(RecordingFailure::stopped);
        m_stop.request();
    }
    // What has been recorded so far, for a display; safe from any thread.
    std::size_t recordedMessages() const { return m_messageCount.load(std::memory_order_relaxed); }
    std::size_t recordedBytes() const { return m_byteCount.load(std::memory_order_relaxed); }
    // True as soon as the recording has failed; safe from any thread.
    bool didFail() const { return m_failure.load() != RecordingFailure::none; }
    // Complete, or failed with the reason. Final once recordOff has returned.
    RecordingOutcome outcome() const;

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
    // Keeps the first reason, with the MIDI system's detail of it.
    void fail(RecordingFailure failure, std::string_view detail = {});
    // News of missed cycles at `when` (steady clock, ns); the delivery thread only.
    void cyclesMissedAt(uint64_t when);

    // Held while the parser works on a delivery, so that a dump is taken whole (the delivery
    // thread and the taker's).
    std::mutex m_listMutex;
    Dump* m_list = nullptr; // recordOn's
    // Every pause waits on it: a stopped recording keeps nothing, so nothing is worth waiting
    // for (the disconnect has already waited out a delivery under way).
    StopSignal m_stop;
    // 0xF0 inside a message, 0xF7 after one, else the last other status byte. Each recording
    // starts clean, so bytes left from an earlier, cut-off recording are never stored.
    uint8_t m_status = 0;
    std::atomic<RecordingFailure> m_failure{RecordingFailure::none};
    // What the dump holds so far: written by the delivery thread only, read by any.
    std::atomic<std::size_t> m_messageCount{0};
    std::atomic<std::size_t> m_byteCount{0};
    mutable std::mutex m_detailMutex;
    std::string m_detail; // the MIDI system's detail of the failure
    // The delivery thread's: when the dump's first byte came, and the last missed cycle before.
    uint64_t m_beganAt = 0;
    uint64_t m_lastMissAt = 0;
};
