#include "TQMidiInterfaceReceiver.h"
#include "core/MidiConstants.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto kSettleBeforeConnect = 600ms;
constexpr auto kSilenceThatEndsARecording = 300ms;
constexpr auto kAfterDisconnect = 300ms;
constexpr auto kBeginPollInterval = 1ms;

using midi::kEndOfSysEx;
using midi::kRealTime;
using midi::kSysEx;

// A cut-off message is what a lost byte looks like to the parser: when an account of lost
// bytes (or an input that went away) explains it, that account is the reason to give.
bool isParserReason(RecordingFailure failure) {
    return failure == RecordingFailure::messageCutOff ||
           failure == RecordingFailure::lastMessageCutOff;
}

bool isLossAccount(RecordingFailure failure) {
    return failure == RecordingFailure::bytesLost || failure == RecordingFailure::sharedInputLost ||
           failure == RecordingFailure::cyclesMissed || failure == RecordingFailure::inputGone;
}

} // namespace

uint16_t TQMidiInterfaceReceiver::SourceNumber(MidiService& service) {
    return static_cast<uint16_t>(std::min<std::size_t>(service.numberOfSources(), UINT16_MAX));
}

std::string TQMidiInterfaceReceiver::SourceNameAt(MidiService& service, uint16_t index) {
    return endpointName(service, service.source(index));
}

MIDIEndpointRef TQMidiInterfaceReceiver::SourceNamed(MidiService& service, std::string_view name) {
    return endpointNamed(service, name, true);
}

std::shared_ptr<TQMidiInterfaceReceiver> TQMidiInterfaceReceiver::TQMidiInterfaceReceiverWithClient(
    MidiService& service, MIDIClientRef client, uint16_t sourceIndex) {
    return std::make_shared<TQMidiInterfaceReceiver>(service, client, service.source(sourceIndex));
}

TQMidiInterfaceReceiver::TQMidiInterfaceReceiver(MidiService& service, MIDIClientRef client,
                                                 MIDIEndpointRef source)
    : m_service(service), m_client(client), m_source(source),
      m_event(std::make_unique<midi::event>()) {
    if (m_service.inputPortCreate(m_client, "InPort", &MidiReadProc, this, &m_port) !=
        MidiStatus::ok) {
        m_port = 0; // recordOn then fails for want of an input
    }
}

TQMidiInterfaceReceiver::~TQMidiInterfaceReceiver() {
    // Also disconnects, so no delivery can reach a receiver that is gone. A port that was
    // never made has nothing to dispose of.
    if (m_port != 0) {
        // A failure means the port went with its client already: gone either way.
        static_cast<void>(m_service.portDispose(m_port));
    }
}

void TQMidiInterfaceReceiver::fail(RecordingFailure failure, std::string_view detail) {
    std::lock_guard lock(m_detailMutex);
    const RecordingFailure before = m_failure.load();
    // An input that goes away changes the graph, and the change can cost our client a cycle:
    // the cause is what the user needs to read, not that symptom. Likewise an input shared
    // with another program: our own reading can lose bytes in the same burst and say so first,
    // but the program to quit is the remedy.
    if (before == RecordingFailure::none ||
        (before == RecordingFailure::cyclesMissed && failure == RecordingFailure::inputGone) ||
        (before == RecordingFailure::bytesLost && failure == RecordingFailure::sharedInputLost) ||
        (isParserReason(before) && isLossAccount(failure))) {
        m_failure = failure;
        m_detail = detail;
    }
}

RecordingOutcome TQMidiInterfaceReceiver::outcome() const {
    std::lock_guard lock(m_detailMutex);
    const RecordingFailure failure = m_failure.load();
    return RecordingOutcome{failure, recordingFailureText(failure, m_detail)};
}

void TQMidiInterfaceReceiver::cyclesMissedAt(uint64_t when) {
    if (when == 0) {
        return; // none
    }
    const uint64_t margin = std::chrono::nanoseconds(kSilenceThatEndsARecording).count();
    if (m_beganAt != 0 && when + margin >= m_beganAt) {
        fail(RecordingFailure::cyclesMissed);
    }
    m_lastMissAt = std::max(m_lastMissAt, when);
}

void TQMidiInterfaceReceiver::recordOn(Dump& list) {
    list.clear();
    m_list = &list;
    m_didRecordingBegin = false;
    m_status = 0;
    m_event->clear();
    m_messageCount = 0;
    m_byteCount = 0;
    {
        std::lock_guard lock(m_detailMutex);
        m_failure = RecordingFailure::none;
        m_detail.clear();
    }
    m_beganAt = 0;
    m_lastMissAt = 0;
    static_cast<void>(m_stop.sleepFor(kSettleBeforeConnect));
    const MidiStatus status = m_port == 0 ? MidiStatus::serviceFailed
                                          : m_service.portConnectSource(m_port, m_source, &list);
    if (status == MidiStatus::busy) {
        fail(RecordingFailure::inputHeld, m_service.lastErrorText());
    } else if (status != MidiStatus::ok) {
        std::string why = m_service.lastErrorText();
        if (why.empty() && status == MidiStatus::noSuchObject) {
            why = "it is not there any more";
        }
        fail(RecordingFailure::inputUnavailable, why);
    }
}

void TQMidiInterfaceReceiver::recordOff() {
    // Not connected (it failed) or gone already: either way nothing more is delivered.
    if (m_service.portDisconnectSource(m_port, m_source) == MidiStatus::ok) {
        static_cast<void>(m_stop.sleepFor(kAfterDisconnect));
    }
    // Nothing is delivered any more: the parser's state is this thread's to read.
    if (m_status == kSysEx) {
        fail(RecordingFailure::lastMessageCutOff);
    }
}

bool TQMidiInterfaceReceiver::didRecordingBegin() const {
    return m_didRecordingBegin;
}

bool TQMidiInterfaceReceiver::isStillRecording() {
    m_isStillRecording = false;
    static_cast<void>(m_stop.sleepFor(kSilenceThatEndsARecording));
    return m_isStillRecording;
}

std::optional<std::pair<Dump, RecordingOutcome>> TQMidiInterfaceReceiver::takeEndedDump() {
    // Before the parser's lock: the news is delivered through it.
    m_service.lookAtLosses(m_source);
    std::lock_guard parsing(m_listMutex);
    if (m_list == nullptr || !m_didRecordingBegin || m_isStillRecording) {
        return std::nullopt; // none began, or it goes on
    }
    if (m_status == kSysEx) {
        // Silent inside a message: the instrument will not finish it.
        fail(RecordingFailure::lastMessageCutOff);
        m_status = 0;
        m_event->clear();
    }
    std::pair<Dump, RecordingOutcome> ended{std::move(*m_list), outcome()};
    m_list->clear();
    m_didRecordingBegin = false;
    m_beganAt = 0;
    m_messageCount = 0;
    m_byteCount = 0;
    {
        std::lock_guard lock(m_detailMutex);
        const RecordingFailure failure = m_failure.load();
        if (failure != RecordingFailure::inputGone && failure != RecordingFailure::stopped &&
            failure != RecordingFailure::inputUnavailable &&
            failure != RecordingFailure::inputHeld) {
            m_failure = RecordingFailure::none;
            m_detail.clear();
        }
    }
    return ended;
}

bool TQMidiInterfaceReceiver::waitForRecordOffWithTimeout(uint16_t seconds) {
    for (uint32_t polls = 0; !m_didRecordingBegin && !didFail() && polls < seconds * 1000u;
         ++polls) {
        std::this_thread::sleep_for(kBeginPollInterval);
    }
    if (!m_didRecordingBegin) {
        recordOff();
        return false;
    }
    while (m_isStillRecording && !didFail()) {
        m_isStillRecording = false;
        static_cast<void>(m_stop.sleepFor(kSilenceThatEndsARecording));
    }
    if (m_failure.load() == RecordingFailure::cyclesMissed) {
        // Room for the news of an input that went away, the likelier cause.
        static_cast<void>(m_stop.sleepFor(kSilenceThatEndsARecording));
    }
    recordOff();
    return true;
}

void TQMidiInterfaceReceiver::MidiReadProc(MidiPacketList packets, void* readProcRefCon,
                                           void* srcConnRefCon) {
    auto* self = static_cast<TQMidiInterfaceReceiver*>(readProcRefCon);
    try {
        self->readData(srcConnRefCon, packets);
    } catch (...) {
        // Out of memory: nothing may cross the service's thread. The message is lost, and
        // said to be.
        std::lock_guard parsing(self->m_listMutex);
        self->fail(RecordingFailure::tooLarge);
        self->m_status = 0;
    }
}

void TQMidiInterfaceReceiver::readData(void* list, MidiPacketList packets) {
    std::lock_guard parsing(m_listMutex);
    Dump& dump = *static_cast<Dump*>(list);
    for (const MidiPacket& packet : packets) {
        if (packet.kind == MidiPacketKind::bytesLost) {
            fail(packet.detail.empty() ? RecordingFailure::bytesLost
                                       : RecordingFailure::sharedInputLost,
                 packet.detail);
        } else if (packet.kind == MidiPacketKind::cyclesMissed) {
            cyclesMissedAt(packet.timeStamp);
        } else if (packet.kind == MidiPacketKind::sourceGone) {
            fail(RecordingFailure::inputGone);
        }
        const uint8_t* byte = packet.bytes.data();
        const uint8_t* const end = byte + packet.bytes.size();
        while (byte != end) {
            const uint8_t b = *byte;
            if (b < 0x80) {
                // A run of data bytes: taken whole inside a message, else dropped.
                const uint8_t* run = byte;
                while (run != end && *run < 0x80) {
                    ++run;
                }
                if (m_status == kSysEx) {
                    const auto n = static_cast<std::size_t>(run - byte);
                    if (m_event->size() + n > kMaxMessageBytes ||
                        m_byteCount.load(std::memory_order_relaxed) + m_event->size() + n >
                            kMaxDumpBytes) {
                        fail(RecordingFailure::tooLarge);
                        m_status = 0; // drop the message; the next 0xF0 starts afresh
                        m_event->clear();
                        m_event->shrink_to_fit();
                    } else {
                        m_event->insert(m_event->end(), byte, run);
                    }
                    m_isStillRecording.store(true, std::memory_order_release);
                }
                byte = run;
                continue;
            }
            ++byte;
            if (b >= kRealTime) {
                continue; // real-time bytes may stand anywhere, also inside a message
            }
            if (m_status == kSysEx && b != kEndOfSysEx) {
                fail(RecordingFailure::messageCutOff); // the message began and never ended
            }
            if (b == kSysEx) {
                if (m_beganAt == 0) {
                    m_beganAt = static_cast<uint64_t>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
                    cyclesMissedAt(m_lastMissAt); // one shortly before the first byte counts
                }
                // Activity before began, so a waiter that sees the beginning sees the activity.
                m_isStillRecording.store(true, std::memory_order_release);
                m_didRecordingBegin.store(true, std::memory_order_release);
                m_event->clear();
                m_event->push_back(kSysEx);
            } else if (b == kEndOfSysEx) {
                if (m_status == kSysEx && dump.size() >= kMaxDumpMessages) {
                    fail(RecordingFailure::tooLarge); // more messages than any dump
                } else if (m_status == kSysEx) {
                    m_event->push_back(kEndOfSysEx);
                    dump.push_back(*m_event);
                    m_messageCount.store(dump.size(), std::memory_order_relaxed);
                    m_byteCount.fetch_add(m_event->size(), std::memory_order_relaxed);
                }
                m_isStillRecording.store(true, std::memory_order_release);
            }
            m_status = b;
        }
    }
}
