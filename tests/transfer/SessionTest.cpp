// What the sessions decide themselves, over the virtual MIDI service: an input that is not
// there, a Stop while connecting, a Stop between opening and sending.
#include "midiinterface/virtual/VirtualMidiService.h"
#include "transfer/ReceiveSession.h"
#include "transfer/TransferReport.h"
#include "transfer/TransmitSession.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

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

    // A Stop while the output settles does not wait for it: not even All Notes Off goes.
    {
        TransmitSession session(m_midi, "KoRvO: Synth in", SendPlan{dump});
        session.open([] {});
        session.stop();
        EXPECT_TRUE(session.waitForEnd(5s));
    }
    EXPECT_EQ(m_midi.received(kSynthIn).size(), 1u);
}

TEST_F(Sessions, AStoppedSessionAnswersEverySendOnceAndSendsNothing) {
    const Dump dump{midi::event{0xF0, 0x31, 0x00, 0x38, 0x01, 0xF7}};
    std::vector<TransmitSession::Result> answers;
    const auto answer = [&answers](TransmitSession::Result r) { answers.push_back(r); };
    {
        // Stopped while the output settles: the thread ends before any send is asked for.
        TransmitSession session(m_midi, "KoRvO: Synth in",
                                std::vector<SendPlan>{SendPlan{dump}, SendPlan{dump}});
        session.open([] {});
        session.stop();
        ASSERT_TRUE(session.waitForEnd(20s));
        session.send(answer);
        ASSERT_EQ(answers.size(), 1u); // at once, on the caller's thread
        session.send(answer);
    }
    {
        // Stopped after opening, the send asked for just after: answered by whichever side
        // takes it, once.
        TransmitSession session(m_midi, "KoRvO: Synth in", SendPlan{dump});
        std::promise<void> opened;
        session.open([&] { opened.set_value(); });
        opened.get_future().get();
        std::mutex mutex;
        session.stop();
        session.send([&](TransmitSession::Result r) {
            std::lock_guard lock(mutex);
            answer(r);
        });
        ASSERT_TRUE(session.waitForEnd(20s));
        std::lock_guard lock(mutex);
        ASSERT_EQ(answers.size(), 3u);
    }
    for (const TransmitSession::Result& r : answers) {
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(r.sent, 0u);
        EXPECT_EQ(r.total, 1u);
    }
    ASSERT_EQ(m_midi.received(kSynthIn).size(), 1u); // All Notes Off of the second session
}

TEST(TransferReports, AStoppedSendNamesTheMessageItCutShort) {
    TransmitSession::Result stopped{4, 0, 12, 0, true, 5};
    EXPECT_EQ(sendReport(stopped).sentence,
              "4 of 12 messages were sent. Message 5 of 12 was cut short and closed; the "
              "instrument may report an error for it.");
    stopped.cutShort = 0;
    EXPECT_EQ(sendReport(stopped).sentence, "4 of 12 messages were sent.");

    // A series: which files went whole, which was cut and how, which were not sent.
    const TransmitSession::Result whole{3, 0, 3, 0, false, 0};
    const std::vector<std::string> names{"a.syx", "b.mid", "c.syx", "d.syx"};
    TransferReport series = seriesReport(names, {whole, whole, {4, 0, 12, 0, true, 5}});
    EXPECT_EQ(series.title, "Transmission stopped");
    EXPECT_EQ(series.sentence,
              "Sent whole: a.syx, b.mid. c.syx: 4 of 12 messages were sent. Message 5 of 12 was "
              "cut short and closed; the instrument may report an error for it. Not sent: d.syx.");
    series = seriesReport(names, {{1, 2, 3, 0, false, 0}});
    EXPECT_EQ(series.title, "Transmission incomplete");
    EXPECT_EQ(series.sentence, "Sent whole: none. a.syx: 2 of 3 messages could not be sent. Not "
                               "sent: b.mid, c.syx, d.syx.");
    EXPECT_EQ(seriesReport(names, {whole, whole, whole, whole}).ending,
              TransferReport::Ending::done);
}

} // namespace
