#include "TransmitSession.h"

#include "core/MidiConstants.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kDonePoll = 5ms;

} // namespace

TransmitSession::TransmitSession(MidiService& midi, std::string outputName, SendPlan plan)
    : m_midi(midi), m_outputName(std::move(outputName)), m_plan(std::move(plan)) {
    if (midi.clientCreate(midi::kProgramName, nullptr, nullptr, &m_client) != MidiStatus::ok) {
        m_client = 0; // no output then: every message counts as not sent
    }
}

TransmitSession::~TransmitSession() {
    stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_transmitter.reset();
    // Ends every port with it; a client the MIDI system lost meanwhile is gone already.
    static_cast<void>(m_midi.clientDispose(m_client));
}

void TransmitSession::open(std::function<void()> opened) {
    m_thread = std::thread([this, opened = std::move(opened)] { run(opened); });
}

void TransmitSession::send(std::function<void(Result)> finished) {
    {
        std::lock_guard lock(m_mutex);
        m_finished = std::move(finished);
        m_sendAsked = true;
    }
    m_wake.notify_all();
}

void TransmitSession::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
        if (TQMidiInterfaceTransmitter* sending = m_sending.load()) {
            sending->stop();
        }
    }
    m_wake.notify_all();
}

void TransmitSession::run(std::function<void()> opened) {
    // Opening the output silences the instrument before the user is asked anything.
    m_transmitter = std::make_unique<TQMidiInterfaceTransmitter>(
        m_midi, m_client, TQMidiInterfaceTransmitter::DestinationNamed(m_midi, m_outputName),
        m_plan.bytesPerSecond);
    opened();
    std::function<void(Result)> finished;
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_sendAsked || m_stopRequested; });
        if (!m_sendAsked || m_stopRequested) {
            return; // nothing of the dump is sent
        }
        finished = std::move(m_finished);
        m_sending = m_transmitter.get();
    }
    m_transmitter->transmitDump(m_plan.sending);
    while (m_transmitter->isStillTransmitting()) {
        std::this_thread::sleep_for(kDonePoll);
    }
    {
        std::lock_guard lock(m_mutex);
        m_sending = nullptr;
    }
    const Result result{m_transmitter->sentCount(), m_transmitter->refusedCount(),
                        m_plan.sending.size(), m_transmitter->mayNotHaveArrivedCount(),
                        m_transmitter->wasStopped()};
    if (finished) {
        finished(result);
    }
}
