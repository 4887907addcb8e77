// What the sessions decide themselves, over the virtual MIDI service: an input that is not
// there, a Stop while connecting, a Stop between opening and sending.
#include "midiinterface/virtual/VirtualMidiService.h"
#include "transfer/ReceiveSession.h"
#include "transfer/TransmitSession.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using namespace std::chrono_literals;

const MidiServiceBase::EndpointId kSynthOut{"KoRvO", "Synth out"};
const MidiServiceBase::EndpointId kSynthIn{"KoRvO", "Synth in"};

class Sessions : public ::testing::Test {
protected:
    void SetUp() override {
        m_midi.addSource(kSynthOut);
        m_midi.addDestination(kSynthIn);
    }
    // Runs a receive of the input named `name`, stopped after `stopAfter` if given.
    std::pair<ReceiveSession::Result, bool>
    receive(const std::string& name, std::optional<std::chrono::milliseconds> stopAfter) {
        ReceiveSession session(m_midi, name, 2s);
        std::promise<ReceiveSession::Result> finished;
        bool waited = false;
        session.start({[&] { waited = true; },
                       {},
                       [&](ReceiveSession::Result r) { finished.set_value(std::move(r)); }});
        if (stopAfter) {
            std::this_thread::sleep_for(*stopAfter);
            session.stop();
        }
        return {finished.get_future().get(), waited};
    }

    VirtualMidiService m_midi;
};

TEST_F(Sessions, AReceiveFromNoInputOrStoppedWhileConnectingKeepsNothing) {
    const auto [gone, waitedForGone] = receive("KoRvO: Nothing", std::nullopt);
    EXPECT_FALSE(waitedForGone);
    EXPECT_EQ(gone.outcome.reason, "The MIDI input cannot be opened: it is not there any more.");

    m_midi.playBytes(kSynthOut, {0xF0, 0x31, 0x00, 0x38, 0x01, 0xF7}, 6, 800ms);
    const auto [stopped, waited] = receive("KoRvO: Synth out", 100ms); // inside the 600 ms
    EXPECT_FALSE(waited);
    EXPECT_EQ(stopped.outcome.failure, RecordingFailure::stopped);
    EXPECT_TRUE(stopped.dump.empty());
}

TEST_F(Sessions, AStopBetweenOpeningAndSendingSendsNothingOfTheDump) {
    const Dump dump{midi::event{0xF0, 0x31, 0x00, 0x38, 0x01, 0xF7}};
    {
        TransmitSession session(m_midi, "KoRvO: Synth in", SendPlan{dump});
        std::promise<void> opened;
        session.open([&] { opened.set_value(); });
        opened.get_future().get();
        session.stop();
    } // joins
    const auto heard = m_midi.received(kSynthIn);
    ASSERT_EQ(heard.size(), 1u); // All Notes Off only
    EXPECT_FALSE(heard[0].sysex);
}

} // namespace
