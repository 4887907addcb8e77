#include "TQMidiInterfaceReceiver.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto kSettleBeforeConnect = 600ms;
constexpr auto kSilenceThatEndsARecording = 300ms;
constexpr auto kAfterDisconnect = 300ms;
constexpr auto kBeginPollInterval = 1ms;

constexpr uint8_t kSysEx = 0xF0;
constexpr uint8_t kEndOfSysEx = 0xF7;

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
    m_service.inputPortCreate(m_client, "InPort", &MidiReadProc, this, &m_port);
}

TQMidiInterfaceReceiver::~TQMidiInterfaceReceiver() {
    // Also disconnects, so no delivery can reach a receiver that is gone.
    m_service.portDispose(m_port);
}

void TQMidiInterfaceReceiver::recordOn(Dump& list) {
    list.clear();
    m_didRecordingBegin = false;
    m_status = 0;
    m_event->clear();
    m_recordedBytes = 0;
    m_overflowed = false;
    std::this_thread::sleep_for(kSettleBeforeConnect);
    m_service.portConnectSource(m_port, m_source, &list);
}

void TQMidiInterfaceReceiver::recordOff() {
    m_service.portDisconnectSource(m_port, m_source);
    std::this_thread::sleep_for(kAfterDisconnect);
}

bool TQMidiInterfaceReceiver::didRecordingBegin() const {
    return m_didRecordingBegin;
}

bool TQMidiInterfaceReceiver::isStillRecording() {
    m_isStillRecording = false;
    std::this_thread::sleep_for(kSilenceThatEndsARecording);
    return m_isStillRecording;
}

bool TQMidiInterfaceReceiver::waitForRecordOffWithTimeout(uint16_t seconds) {
    for (uint32_t polls = 0; !m_didRecordingBegin && polls < seconds * 1000u; ++polls) {
        std::this_thread::sleep_for(kBeginPollInterval);
    }
    if (!m_didRecordingBegin) {
        recordOff();
        return false;
    }
    while (m_isStillRecording) {
        m_isStillRecording = false;
        std::this_thread::sleep_for(kSilenceThatEndsARecording);
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
        self->m_overflowed = true;
        self->m_status = 0;
    }
}

void TQMidiInterfaceReceiver::readData(void* list, MidiPacketList packets) {
    Dump& dump = *static_cast<Dump*>(list);
    for (const MidiPacket& packet : packets) {
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
                        m_recordedBytes + m_event->size() + n > kMaxDumpBytes) {
                        m_overflowed = true;
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
            if (b == kSysEx) {
                // Activity before began, so a waiter that sees the beginning sees the activity.
                m_isStillRecording.store(true, std::memory_order_release);
                m_didRecordingBegin.store(true, std::memory_order_release);
                m_event->clear();
                m_event->push_back(kSysEx);
            } else if (b == kEndOfSysEx) {
                if (m_status == kSysEx && dump.size() >= kMaxDumpMessages) {
                    m_overflowed = true; // more messages than any dump: the recording fails
                } else if (m_status == kSysEx) {
                    m_event->push_back(kEndOfSysEx);
                    dump.push_back(*m_event);
                    m_recordedBytes += m_event->size();
                }
                m_isStillRecording.store(true, std::memory_order_release);
            }
            // Any other status byte, real-time bytes included, abandons an unfinished message.
            m_status = b;
            ++byte;
        }
    }
}
