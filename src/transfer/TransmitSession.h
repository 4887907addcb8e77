#pragma once

#include "SendPlan.h"
#include "core/StopSignal.h"
#include "core/event.h"
#include "midiinterface/MidiService.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TQMidiInterfaceTransmitter;

// One Transmit, for the window and the command line alike: a MIDI client of its own, the
// output looked up by name, the planned copy of the dump (prepareSend or planSend, which refused
// what cannot be sent; what the MIDI system cannot carry is asked again on the session's own
// thread), the settling and All Notes Off on a thread of the session's own (so the caller's
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
        bool stopped = false;              // by Stop
        std::size_t cutShort = 0; // the number (from 1) of the message Stop closed early, or 0
    };

    TransmitSession(MidiService& midi, std::string outputName, SendPlan plan);
    // A series of dumps to one output: one opening (All Notes Off once), then each plan in
    // turn, one send() each. Every plan has the same speed.
    TransmitSession(MidiService& midi, std::string outputName, std::vector<SendPlan> plans);
    TransmitSession(const TransmitSession&) = delete;
    TransmitSession& operator=(const TransmitSession&) = delete;
    // Stops what is under way and waits for its thread.
    ~TransmitSession();

    // Asks the MIDI service whether it can carry every plan (carryRefusal): when it cannot,
    // `refused` with the first plan it cannot carry and the sentence, and nothing goes out.
    // Otherwise opens the output (600 ms, All Notes Off, 300 ms), then `opened`. Nothing of a
    // dump goes out before send.
    void open(std::function<void()> opened,
              std::function<void(std::size_t plan, std::string why)> refused = {});
    // After open: waits `pauseBefore` (Stop ends it: the plan then counts as stopped, nothing
    // of it sent), sends the next plan's dump, then `finished`. Once per plan. `finished`
    // comes exactly once for every call: a session that was stopped, or has ended, answers at
    // once (on the caller's thread when its own has stopped taking sends) with the next plan
    // stopped and nothing of it sent.
    void send(std::function<void(Result)> finished,
              std::chrono::milliseconds pauseBefore = std::chrono::milliseconds(0));
    // At once: before send nothing of the dump is sent; during it a message going out in parts
    // is closed with 0xF7 (Result::cutShort) and nothing more goes.
    void stop();
    bool stopRequested() const { return m_stop.requested(); }
    // Waits up to `limit` for the session's work to end (after stop: for the open message to
    // be closed); false when it has not.
    bool waitForEnd(std::chrono::milliseconds limit);

private:
    void run(const std::function<void()>& opened,
             const std::function<void(std::size_t, std::string)>& refused);
    // Sends the plans in turn as send() asks; false when it should end.
    bool sendNext(const SendPlan& plan);
    // The session's thread takes no more sends: one asked for is answered, stopped.
    void closeSends();
    // What a send that cannot go answers: the next plan stopped, nothing of it sent. Under
    // m_mutex.
    Result notSent();

    MidiService& m_midi;
    MIDIClientRef m_client = 0;
    std::string m_outputName;
    const std::vector<SendPlan> m_plans;
    std::chrono::milliseconds m_pauseBefore{0};                // set by send
    std::unique_ptr<TQMidiInterfaceTransmitter> m_transmitter; // the session's thread's
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void(Result)> m_finished; // set by send
    bool m_sendAsked = false;
    bool m_closed = false;      // no send is taken any more: each is answered at once
    std::size_t m_nextPlan = 0; // the plan the next send is for
    bool m_ended = false;
    StopSignal m_stop;
    std::atomic<TQMidiInterfaceTransmitter*> m_sending{nullptr}; // for Stop
    std::thread m_thread;
};
