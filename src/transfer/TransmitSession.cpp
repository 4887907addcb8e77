#include "TransmitSession.h"

#include "core/MidiConstants.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

#include <algorithm>
#include <optional>

namespace {

using namespace std::chrono_literals;

constexpr auto kDonePoll = 5ms;

} // namespace

TransmitSession::TransmitSession(MidiService& midi, std::string outputName, SendPlan plan)
    : TransmitSession(midi, std::move(outputName), std::vector<SendPlan>{std::move(plan)}) {}

TransmitSession::TransmitSession(MidiService& midi, std::string outputName,
                                 std::vector<SendPlan> plans)
    : m_midi(midi), m_outputName(std::move(outputName)), m_plans(std::move(plans)) {
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

void TransmitSession::open(std::function<void()> opened,
                           std::function<void(std::size_t, std::string)> refused) {
    m_thread = std::thread(
        [this, opened = std::move(opened), refused = std::move(refused)] { run(opened, refused); });
}

void TransmitSession::send(std::function<void(Result)> finished,
                           std::chrono::milliseconds pauseBefore) {
    std::optional<Result> atOnce;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            atOnce = notSent(); // nobody would take it: answered now, never left waiting
        } else if (m_sendAsked) {
            atOnce = Result{0, 0, 0, 0, true, 0}; // one at a time: the one asked stays
        } else {
            m_finished = std::move(finished);
            m_pauseBefore = pauseBefore;
            m_sendAsked = true;
        }
    }
    if (atOnce) {
        if (finished) {
            finished(*atOnce);
        }
        return;
    }
    m_wake.notify_all();
}

TransmitSession::Result TransmitSession::notSent() {
    const std::size_t total =
        m_nextPlan < m_plans.size() ? m_plans[m_nextPlan].sending.size() : std::size_t{0};
    m_nextPlan = std::min(m_nextPlan + 1, m_plans.size());
    return Result{0, 0, total, 0, true, 0};
}

void TransmitSession::closeSends() {
    std::function<void(Result)> finished;
    Result result;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        if (!m_sendAsked) {
            return;
        }
        m_sendAsked = false;
        finished = std::move(m_finished);
        result = notSent();
    }
    if (finished) {
        finished(result);
    }
}

void TransmitSession::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop.request();
        if (TQMidiInterfaceTransmitter* sending = m_sending.load()) {
            sending->stop();
        }
    }
    m_wake.notify_all();
}

bool TransmitSession::waitForEnd(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, limit, [this] { return m_ended; });
}

void TransmitSession::run(const std::function<void()>& opened,
                          const std::function<void(std::size_t, std::string)>& refused) {
    // Asked here, not on the caller's thread: the MIDI system may take its time to answer.
    std::size_t refusedAt = 0;
    ::Result<void> carried;
    for (; refusedAt < m_plans.size() && carried; ++refusedAt) {
        carried = carryRefusal(m_plans[refusedAt], m_midi);
    }
    if (!carried) {
        if (refused) {
            refused(refusedAt - 1, carried.error());
        }
    } else if (!m_plans.empty()) {
        // Opening the output silences the instrument before the user is asked anything.
        m_transmitter = std::make_unique<TQMidiInterfaceTransmitter>(
            m_midi, m_client, TQMidiInterfaceTransmitter::DestinationNamed(m_midi, m_outputName),
            m_plans.front().bytesPerSecond, &m_stop);
        opened();
        for (const SendPlan& plan : m_plans) {
            if (!sendNext(plan)) {
                break;
            }
        }
    }
    closeSends();
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    m_wake.notify_all();
}

bool TransmitSession::sendNext(const SendPlan& plan) {
    std::function<void(Result)> finished;
    std::chrono::milliseconds pause{0};
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_sendAsked || m_stop.requested(); });
        if (!m_sendAsked || m_stop.requested()) {
            return false; // nothing more is sent; a send asked for is answered on the way out
        }
        m_sendAsked = false;
        ++m_nextPlan;
        finished = std::move(m_finished);
        pause = m_pauseBefore;
        m_sending = m_transmitter.get();
    }
    Result result{0, 0, plan.sending.size(), 0, true, 0};
    if (m_stop.sleepFor(pause)) {
        const std::size_t refusedBefore = m_transmitter->refusedCount(); // it counts on
        m_transmitter->transmitDump(plan.sending);
        while (m_transmitter->isStillTransmitting()) {
            std::this_thread::sleep_for(kDonePoll);
        }
        result = Result{m_transmitter->sentCount(),  m_transmitter->refusedCount() - refusedBefore,
                        plan.sending.size(),         m_transmitter->mayNotHaveArrivedCount(),
                        m_transmitter->wasStopped(), m_transmitter->cutShortMessage()};
    }
    {
        std::lock_guard lock(m_mutex);
        m_sending = nullptr;
    }
    if (finished) {
        finished(result);
    }
    return true;
}
