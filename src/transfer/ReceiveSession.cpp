#include "ReceiveSession.h"

#include "core/MidiConstants.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"

namespace {

using namespace std::chrono_literals;

// How often the wait for the beginning looks at the receiver.
constexpr auto kBeginPoll = 10ms;

} // namespace

ReceiveSession::ReceiveSession(MidiService& midi, std::string_view inputName,
                               std::chrono::milliseconds waitForBegin)
    : m_midi(midi), m_waitForBegin(waitForBegin) {
    if (midi.clientCreate(midi::kProgramName, nullptr, nullptr, &m_client) != MidiStatus::ok) {
        m_client = 0; // the receiver has no port then: the recording fails with the reason
    }
    m_receiver = std::make_unique<TQMidiInterfaceReceiver>(
        midi, m_client, TQMidiInterfaceReceiver::SourceNamed(midi, inputName));
}

ReceiveSession::~ReceiveSession() {
    stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_receiver.reset();
    // Ends every port with it; a client the MIDI system lost meanwhile is gone already.
    static_cast<void>(m_midi.clientDispose(m_client));
}

void ReceiveSession::start(Events events) {
    m_thread = std::thread([this, events = std::move(events)] { run(events); });
}

void ReceiveSession::stop() {
    m_stopRequested = true;
    m_receiver->stop();
}

std::size_t ReceiveSession::recordedMessages() const {
    return m_receiver->recordedMessages();
}

std::size_t ReceiveSession::recordedBytes() const {
    return m_receiver->recordedBytes();
}

void ReceiveSession::run(Events events) {
    const auto deadline = std::chrono::steady_clock::now() + m_waitForBegin;
    auto recording = std::make_unique<Dump>();
    connect(*recording, events.waiting);
    while (!m_receiver->didRecordingBegin() && !m_receiver->didFail() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kBeginPoll);
    }
    const bool began = m_receiver->didRecordingBegin();
    if (events.began) {
        events.began(began);
    }
    m_receiver->waitForRecordOffWithTimeout(0); // the silence that ends it, then disconnect
    Result result{m_receiver->outcome(), {}, began};
    if (result.outcome.complete()) {
        result.dump = std::move(*recording); // a recording that may have lost a byte is never kept
    }
    if (events.finished) {
        events.finished(std::move(result));
    }
}

void ReceiveSession::connect(Dump& recording, const std::function<void()>& waiting) {
    m_receiver->recordOn(recording);
    if (m_stopRequested) {
        m_receiver->stop(); // a Stop during the connecting, which starts the recording afresh
    }
    if (!m_receiver->didFail() && waiting) {
        waiting();
    }
}

void ReceiveSession::startSeries(SeriesEvents events) {
    m_thread = std::thread([this, events = std::move(events)] { runSeries(events); });
}

void ReceiveSession::runSeries(const SeriesEvents& events) {
    auto recording = std::make_unique<Dump>();
    connect(*recording, events.waiting);
    for (;;) {
        while (!m_receiver->didRecordingBegin() && !m_receiver->didFail()) {
            std::this_thread::sleep_for(kBeginPoll);
        }
        const RecordingFailure failure = m_receiver->outcome().failure;
        if (failure == RecordingFailure::stopped || failure == RecordingFailure::inputGone ||
            failure == RecordingFailure::inputUnavailable ||
            failure == RecordingFailure::inputHeld) {
            // The series ends. A dump under way is not kept, and said to be lost.
            if (m_receiver->didRecordingBegin() && events.ended) {
                events.ended(Result{m_receiver->outcome(), {}, true});
            }
            break;
        }
        if (!m_receiver->didRecordingBegin()) {
            // Failed while no dump came (bytes lost): the next dump carries the failure.
            std::this_thread::sleep_for(kBeginPoll);
            continue;
        }
        // The silence that ends a dump, outside a message.
        if (m_receiver->isStillRecording()) {
            continue;
        }
        if (auto ended = m_receiver->takeEndedDump()) {
            Result result{std::move(ended->second), {}, true};
            if (result.outcome.complete()) {
                result.dump = std::move(ended->first);
            }
            if (events.ended) {
                events.ended(std::move(result));
            }
        }
    }
    m_receiver->recordOff();
    if (events.finished) {
        events.finished(Result{m_receiver->outcome(), {}, false});
    }
}
