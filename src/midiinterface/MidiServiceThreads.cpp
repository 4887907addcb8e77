// The base's threads: the SysEx send queue with its cable-time pacing, and the notifications
// of setup changes found by comparing endpoint lists.
#include "MidiServiceBase.h"

#include <algorithm>
#include <chrono>

namespace {

// Several registrations often come together (a device with four ports); they make one change.
constexpr auto kSetupSettleTime = std::chrono::milliseconds(50);
// The MIDI system can tell of a change before its lists show it (a busy JACK server still
// lists a port it announced gone): one more look after a change catches what the first missed.
constexpr auto kLookAgainAfter = std::chrono::milliseconds(300);

} // namespace

void MidiServiceBase::startServiceThreads() {
    {
        std::lock_guard lock(m_threadMutex);
        m_stopping = false;
    }
    m_sysexThread = std::thread([this] { sysexLoop(); });
    m_notifyThread = std::thread([this] { notifyLoop(); });
}

void MidiServiceBase::stopServiceThreads() {
    {
        std::lock_guard lock(m_threadMutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread* thread : {&m_sysexThread, &m_notifyThread}) {
        if (thread->joinable()) {
            thread->join();
        }
    }
}

MidiServiceBase::~MidiServiceBase() {
    stopServiceThreads();
}

MidiStatus MidiServiceBase::sendSysex(MIDISysexSendRequest* request) {
    if (request == nullptr || request->completionProc == nullptr ||
        (request->data == nullptr && request->bytesToSend != 0) ||
        (request->bytesPerSecond != midi::kFullSpeed && !canSendSlower())) {
        return MidiStatus::invalidArgument;
    }
    request->complete = false;
    {
        std::lock_guard lock(m_threadMutex);
        m_sysexQueue.push_back(request);
    }
    m_wake.notify_all();
    return MidiStatus::ok;
}

void MidiServiceBase::cancelSysex(MIDISysexSendRequest* request) {
    std::unique_lock lock(m_threadMutex);
    if (request == m_inHand) {
        m_cancelInHand = true;
        lock.unlock();
        m_wake.notify_all();
        return;
    }
    // Still queued: the queue's thread completes it, never the caller's (a window's thread).
    if (std::find(m_sysexQueue.begin(), m_sysexQueue.end(), request) != m_sysexQueue.end()) {
        m_cancelledInQueue.push_back(request);
    }
}

void MidiServiceBase::sysexLoop() {
    std::unique_lock lock(m_threadMutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_sysexQueue.empty(); });
        if (m_sysexQueue.empty()) {
            return; // stopping
        }
        MIDISysexSendRequest* request = m_sysexQueue.front();
        m_sysexQueue.pop_front();
        m_inHand = request;
        m_cancelInHand = std::erase(m_cancelledInQueue, request) != 0;
        const bool stopping = m_stopping;
        const bool cancelledInQueue = m_cancelInHand;
        lock.unlock();

        const auto began = std::chrono::steady_clock::now();
        m_handOverBegan = began;
        bool isSource = true;
        const auto id = endpointOf(request->destination, &isSource);
        const std::size_t part = request->bytesPerSecond == midi::kFullSpeed
                                     ? fullSpeedPart()
                                     : midi::speedPart(request->bytesPerSecond);
        MidiStatus status = MidiStatus::serviceFailed;
        request->bytesHandedOver = 0;
        if (cancelledInQueue) {
            status = MidiStatus::ok; // nothing of it went
        } else if (!stopping) {
            if (!id || isSource) {
                status = MidiStatus::noSuchObject;
            } else if (request->bytesToSend > part || request->bytesPerSecond != midi::kFullSpeed) {
                status = handOverInParts(*id, *request, part);
            } else {
                status =
                    handOverSysex(*id, {request->data, request->bytesToSend}, request->pauseBefore);
                if (status == MidiStatus::ok) {
                    request->bytesHandedOver = request->bytesToSend;
                }
            }
        }
        // The instrument is still receiving until the last byte has crossed the cable (or had
        // its share of a slower speed), unless it goes away meanwhile.
        if (status == MidiStatus::ok &&
            !waitForCable(began +
                              midi::timeAtSpeed(request->bytesHandedOver, request->bytesPerSecond),
                          request->destination)) {
            status = MidiStatus::noSuchObject;
        }
        lock.lock();
        m_inHand = nullptr;
        lock.unlock();
        request->status = status;
        request->complete = true;
        request->completionProc(request);
        lock.lock();
    }
}

MidiStatus MidiServiceBase::handOverInParts(const EndpointId& destination,
                                            MIDISysexSendRequest& request, std::size_t part) {
    const std::span<const uint8_t> bytes{request.data, request.bytesToSend};
    auto next = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < bytes.size(); at += part) {
        if (!waitUntil(next)) {
            if (!cancelled()) {
                return MidiStatus::serviceFailed; // the service is ending
            }
            if (at == 0) {
                return MidiStatus::ok; // nothing went: nothing to close
            }
            // The instrument must not wait for the rest of a message that will never come.
            static constexpr uint8_t kClose[] = {midi::kEndOfSysEx};
            return handOverSysex(destination, kClose, 0.0);
        }
        const std::size_t n = std::min(part, bytes.size() - at);
        m_handOverBegan = std::chrono::steady_clock::now();
        if (const MidiStatus status =
                handOverSysex(destination, bytes.subspan(at, n), request.pauseBefore);
            status != MidiStatus::ok) {
            return status;
        }
        request.bytesHandedOver = static_cast<uint32_t>(at + n);
        // Counted from when the part went: a thread that woke late never makes up for it in
        // a burst.
        next = std::chrono::steady_clock::now() + midi::timeAtSpeed(n, request.bytesPerSecond);
    }
    // The last part's share too, so that the next message's first part keeps its distance.
    if (!waitUntil(next) && !cancelled()) {
        return MidiStatus::serviceFailed;
    }
    return MidiStatus::ok;
}

bool MidiServiceBase::waitUntil(std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(m_threadMutex);
    return !m_wake.wait_until(lock, until, [this] { return m_stopping || m_cancelInHand; });
}

bool MidiServiceBase::cancelled() {
    std::lock_guard lock(m_threadMutex);
    return m_cancelInHand;
}

bool MidiServiceBase::waitForCable(std::chrono::steady_clock::time_point until,
                                   MIDIEndpointRef destination) {
    std::unique_lock lock(m_threadMutex);
    uint64_t seen = m_setupGeneration;
    for (;;) {
        if (!m_wake.wait_until(lock, until, [&] {
                return m_stopping || m_cancelInHand || m_setupGeneration != seen;
            })) {
            return true; // the whole cable time passed
        }
        if (m_stopping) {
            return false;
        }
        if (m_cancelInHand) {
            return true; // what was handed over is on its way
        }
        seen = m_setupGeneration;
        lock.unlock();
        const auto id = endpointOf(destination);
        const std::vector<EndpointId> now = currentDestinations();
        lock.lock();
        if (!id || std::find(now.begin(), now.end(), *id) == now.end()) {
            return false;
        }
    }
}

void MidiServiceBase::setupMayHaveChanged() {
    {
        std::lock_guard lock(m_threadMutex);
        m_setupChanged = true;
    }
    m_wake.notify_all();
}

MidiServiceBase::Snapshot MidiServiceBase::snapshot() {
    Snapshot now{listed(currentSources()), listed(currentDestinations())};
    // The names count, not the order the MIDI system lists them in.
    std::sort(now.sources.begin(), now.sources.end());
    std::sort(now.destinations.begin(), now.destinations.end());
    return now;
}

void MidiServiceBase::notifyLoop() {
    std::unique_lock lock(m_threadMutex);
    std::optional<std::chrono::steady_clock::time_point> lookAgainAt;
    for (;;) {
        const auto woken = [this] { return m_stopping || m_setupChanged; };
        if (lookAgainAt) {
            m_wake.wait_until(lock, *lookAgainAt, woken);
        } else {
            m_wake.wait(lock, woken);
        }
        if (m_stopping) {
            return;
        }
        const bool news = m_setupChanged;
        lookAgainAt.reset();
        if (news) {
            lookAgainAt = std::chrono::steady_clock::now() + kLookAgainAfter;
        }
        lock.unlock();
        if (news) {
            std::this_thread::sleep_for(kSetupSettleTime);
        }
        lock.lock();
        m_setupChanged = false;
        lock.unlock();
        // Each client is told when the endpoints differ from what it last learnt of them: a
        // client that came after an earlier look is measured against its own first look, and
        // one that came after this look is not in it.
        std::vector<MIDIClientRef> toTell;
        Snapshot now;
        {
            std::lock_guard looking(m_lookMutex);
            now = snapshot();
            std::lock_guard clientsLock(m_mutex);
            for (auto& [ref, client] : m_clients) {
                if (client.seen != now) {
                    client.seen = now;
                    toTell.push_back(ref);
                }
            }
        }
        reportGoneSources(now.sources);
        lock.lock();
        ++m_setupGeneration; // a send waiting out its cable time looks at its destination
        m_wake.notify_all();
        if (toTell.empty()) {
            continue;
        }
        lock.unlock();
        {
            std::lock_guard notifying(m_notifyMutex);
            // Those disposed of since the look are no longer told.
            std::vector<Client> clients;
            {
                std::lock_guard clientsLock(m_mutex);
                for (MIDIClientRef ref : toTell) {
                    if (const auto it = m_clients.find(ref); it != m_clients.end()) {
                        clients.push_back(Client{it->second.notifyProc, it->second.refCon, {}});
                    }
                }
            }
            for (const Client& client : clients) {
                if (client.notifyProc != nullptr) {
                    client.notifyProc(MidiNotification{kMIDIMsgSetupChanged}, client.refCon);
                }
            }
        }
        lock.lock();
    }
}
