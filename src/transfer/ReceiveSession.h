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
    // Ends the recording, or the wait for it: nothing of it is kept. Any thread.
    void stop();
    // What has arrived so far, for a display. Any thread.
    std::size_t recordedMessages() const;
    std::size_t recordedBytes() const;

private:
    void run(Events events);

    MidiService& m_midi;
    MIDIClientRef m_client = 0;
    std::unique_ptr<TQMidiInterfaceReceiver> m_receiver;
    std::chrono::milliseconds m_waitForBegin;
    std::atomic<bool> m_stopRequested{false};
    std::thread m_thread;
};
