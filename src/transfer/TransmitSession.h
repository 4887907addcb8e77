#pragma once

#include "SendPlan.h"
#include "core/event.h"
#include "midiinterface/MidiService.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TQMidiInterfaceTransmitter;

// One Transmit, for the window and the command line alike: a MIDI client of its own, the
// output looked up by name, the planned copy of the dump (planSend, which refused what cannot
// be sent), the settling and All Notes Off on a thread of the session's own (so the caller's
// thread stays free), the sending at the planned speed, Stop, and the result. Between opening
// and sending the caller tells the user what to press on the instrument. The events come on
// the session's thread.
class TransmitSession {
public:
    struct Result {
        std::size_t sent = 0;
        std::size_t refused = 0; // not carried, or not sent for want of a destination
        std::size_t total = 0;
        std::size_t mayNotHaveArrived = 0; // handed over around missed cycles
        bool stopped = false;              // by Stop, after the message in flight
    };

    TransmitSession(MidiService& midi, std::string outputName, SendPlan plan);
    TransmitSession(const TransmitSession&) = delete;
    TransmitSession& operator=(const TransmitSession&) = delete;
    // Stops what is under way (after the message in flight) and waits for its thread.
    ~TransmitSession();

    // Opens the output (600 ms, All Notes Off, 300 ms), then `opened`. Nothing of the dump
    // goes out before send.
    void open(std::function<void()> opened);
    // After open: sends the dump, then `finished`.
    void send(std::function<void(Result)> finished);
    // Before send: nothing of the dump is sent; during it: after the message in flight.
    void stop();
    bool stopRequested() const { return m_stopRequested; }

private:
    void run(std::function<void()> opened);

    MidiService& m_midi;
    MIDIClientRef m_client = 0;
    std::string m_outputName;
    const SendPlan m_plan;
    std::unique_ptr<TQMidiInterfaceTransmitter> m_transmitter; // the session's thread's
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void(Result)> m_finished; // set by send
    bool m_sendAsked = false;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<TQMidiInterfaceTransmitter*> m_sending{nullptr}; // for Stop
    std::thread m_thread;
};
