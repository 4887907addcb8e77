#pragma once

#include "core/event.h"
#include "midiinterface/MidiService.h"
#include "midiinterface/RecordingOutcome.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class TQMidiInterfaceReceiver;

// One Receive, for the window and the command line alike: a MIDI client of its own, the input
// looked up by the name a menu or the command line gave, the recording on a thread of the
// session's own (the 600 ms before connecting included, so the caller's thread stays free),
// Stop, and the result. The caller only words what it reports. The events come on the
// session's thread.
class ReceiveSession {
public:
    struct Result {
        RecordingOutcome outcome; // a failed recording's dump is empty
        Dump dump;
        bool began = false; // a dump began before the wait was over
    };
    struct Events {
        std::function<void()> waiting;         // connected: the instrument may send now
        std::function<void(bool began)> began; // the wait for the dump is over
        std::function<void(Result)> finished;  // the last event
    };

    // `waitForBegin` counts from start(). A name that names no input, or a MIDI system that
    // refuses a client, fails the recording.
    ReceiveSession(MidiService& midi, std::string_view inputName,
                   std::chrono::milliseconds waitForBegin);
    ReceiveSession(const ReceiveSession&) = delete;
    ReceiveSession& operator=(const ReceiveSession&) = delete;
    // Stops a recording under way and waits for its thread.
    ~ReceiveSession();

    void start(Events events);
    // Dump after dump on one connection, until stop() or the input goes: `waiting` once
    // connected, `ended` for each dump that began and ended (kept only when complete, as in a
    // single receive), then `finished` with what ended the series (stopped, the input gone or
    // never opened; the dump is empty). There is no wait limit: the next dump may come any
    // time.
    struct SeriesEvents {
        std::function<void()> waiting;
        std::function<void(Result)> ended;
        std::function<void(Result)> finished;
    };
    void startSeries(SeriesEvents events);
    // Ends the recording, or the wait for it: nothing of it is kept. Any thread.
    void stop();
    // What has arrived so far, for a display. Any thread.
    std::size_t recordedMessages() const;
    std::size_t recordedBytes() const;

private:
    void run(Events events);
    void runSeries(const SeriesEvents& events);
    // Waits 600 ms, connects the input to record into `recording`, then `waiting` unless that
    // failed (or Stop came meanwhile).
    void connect(Dump& recording, const std::function<void()>& waiting);

    MidiService& m_midi;
    MIDIClientRef m_client = 0;
    std::unique_ptr<TQMidiInterfaceReceiver> m_receiver;
    std::chrono::milliseconds m_waitForBegin;
    std::atomic<bool> m_stopRequested{false};
    std::thread m_thread;
};
