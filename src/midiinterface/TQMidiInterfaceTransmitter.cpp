#include "TQMidiInterfaceTransmitter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto kSettleBeforeAllNotesOff = 600ms;
constexpr auto kAfterAllNotesOff = 300ms;
const auto kAfterHandOver = midi::timeAtSpeed(1, midi::kFullSpeed);

// While pausing, how often the transmitter looks whether it was stopped or its destination
// has gone.
constexpr auto kGoneCheckInterval = 200ms;

} // namespace

uint16_t TQMidiInterfaceTransmitter::DestinationNumber(MidiService& service) {
    return static_cast<uint16_t>(std::min<std::size_t>(service.numberOfDestinations(), UINT16_MAX));
}

std::string TQMidiInterfaceTransmitter::DestinationNameAt(MidiService& service, uint16_t index) {
    return endpointName(service, service.destination(index));
}

MIDIEndpointRef TQMidiInterfaceTransmitter::DestinationNamed(MidiService& service,
                                                             std::string_view name) {
    return endpointNamed(service, name, false);
}

std::shared_ptr<TQMidiInterfaceTransmitter>
TQMidiInterfaceTransmitter::TQMidiInterfaceTransmitterWithClient(MidiService& service,
                                                                 MIDIClientRef client,
                                                                 uint16_t destinationIndex) {
    return std::make_shared<TQMidiInterfaceTransmitter>(service, client,
                                                        service.destination(destinationIndex));
}

TQMidiInterfaceTransmitter::TQMidiInterfaceTransmitter(MidiService& service, MIDIClientRef client,
                                                       MIDIEndpointRef destination,
                                                       uint32_t bytesPerSecond, StopSignal* stop)
    : m_service(service), m_client(client), m_stop(stop != nullptr ? *stop : m_ownStop),
      m_destinationName(endpointName(service, destination)) {
    if (m_service.outputPortCreate(m_client, "OutPort", &m_port) != MidiStatus::ok) {
        m_gone = true; // nothing can be sent; every message counts as not sent
        m_port = 0;
    }
    m_request.destination = destination;
    m_request.completionProc = &SysexCompletionProc;
    m_request.completionRefCon = this;
    m_request.bytesPerSecond = bytesPerSecond;
    if (m_stop.sleepFor(kSettleBeforeAllNotesOff)) {
        sendAllNotesOffOverPort(m_port, destination);
    }
}

void TQMidiInterfaceTransmitter::stop() {
    m_stop.request();
    m_service.cancelSysex(&m_request);
}

TQMidiInterfaceTransmitter::~TQMidiInterfaceTransmitter() {
    while (m_isStillTransmitting) {
        std::this_thread::sleep_for(1ms);
    }
    if (m_port != 0) {
        // A failure means the port went with its client already: gone either way.
        static_cast<void>(m_service.portDispose(m_port));
    }
}

bool TQMidiInterfaceTransmitter::pauseUnlessGone(double seconds) {
    // An offset of d seconds is a pause of d × 1,000,000 µs, cut toward zero.
    if (!(seconds > 0.0) || !std::isfinite(seconds)) {
        return !m_gone;
    }
    const auto until =
        std::chrono::steady_clock::now() +
        std::chrono::microseconds(static_cast<int64_t>(std::min(seconds, 1e12) * 1'000'000.0));
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return !m_gone;
        }
        if (!m_stop.sleepUntil(std::min(until, now + kGoneCheckInterval)) || m_stop.requested()) {
            return false; // no message is in flight during a pause: Stop ends it here
        }
        if (endpointNamed(m_service, m_destinationName, false) == 0) {
            m_gone = true;
            return false;
        }
    }
}

void TQMidiInterfaceTransmitter::abandon() {
    // The owner's Stop counts as soon as it is requested, before it reaches stop().
    if (m_stop.requested() && !m_gone) {
        m_stopped = true; // the rest was not sent on purpose: not a refusal
    } else {
        m_refused += m_messageToSend;
    }
    m_messageToSend = 0;
    finish();
}

void TQMidiInterfaceTransmitter::sendAllNotesOffOverPort(MIDIPortRef port,
                                                         MIDIEndpointRef destination) {
    // Channels 1 to 16, then channel 1 once more: 17 messages, 51 bytes, in one list.
    uint8_t bytes[17][3];
    MidiPacket packets[17];
    for (int i = 0; i < 17; ++i) {
        bytes[i][0] = static_cast<uint8_t>(0xB0 | (i % 16));
        bytes[i][1] = 0x7B;
        bytes[i][2] = 0x00;
        packets[i] = MidiPacket{0, bytes[i]};
    }
    // Below full speed one message at a time, each after the share of the one before.
    const bool slower = m_request.bytesPerSecond != midi::kFullSpeed;
    const std::span<const MidiPacket> all(packets);
    const std::size_t step = slower ? 1 : all.size();
    for (std::size_t at = 0; at < all.size(); at += step) {
        if (m_service.send(port, destination, all.subspan(at, step)) != MidiStatus::ok) {
            // The destination is not there (or the MIDI system refused): nothing more can go
            // out.
            m_gone = true;
            return;
        }
        if (slower &&
            !m_stop.sleepFor(midi::timeAtSpeed(sizeof bytes[0], m_request.bytesPerSecond))) {
            return;
        }
    }
    static_cast<void>(m_stop.sleepFor(kAfterAllNotesOff)); // a Stop needs no more of it
}

std::size_t TQMidiInterfaceTransmitter::mayNotHaveArrivedCount() const {
    return static_cast<std::size_t>(m_service.sysexMayBeLost() - m_mayBeLostBefore);
}

std::string TQMidiInterfaceTransmitter::mayNotHaveArrivedText(std::size_t count,
                                                              std::size_t total) {
    return midi::withThousands(count) + " of " + midi::withThousands(total) +
           " messages may not have arrived: JACK missed processing cycles while they were "
           "sent. Run JACK with realtime scheduling or a larger period, and transmit again.";
}

void TQMidiInterfaceTransmitter::transmitDump(const Dump& dump) {
    if (dump.empty()) {
        return;
    }
    m_mayBeLostBefore = m_service.sysexMayBeLost();
    m_isStillTransmitting = true;
    m_messageToSend = dump.size();
    m_dump = &dump;
    m_dumpIndex = 0;
    m_sent = 0;
    m_cutShort = 0;
    m_stopped = false;
    if (m_stop.requested() || !pauseUnlessGone(dump.front().m_offset)) {
        abandon();
        return;
    }
    if (!transmit(dump.front(), dump.front().m_offset)) {
        complete();
    }
}

void TQMidiInterfaceTransmitter::transmitMessage(const buffer& message) {
    m_isStillTransmitting = true;
    m_messageToSend = 1;
    m_dump = nullptr;
    if (m_gone) {
        abandon();
        return;
    }
    if (!transmit(message, 0.0)) {
        complete();
    }
}

bool TQMidiInterfaceTransmitter::isStillTransmitting() const {
    return m_isStillTransmitting;
}

std::size_t TQMidiInterfaceTransmitter::refusedCount() const {
    return m_refused;
}

bool TQMidiInterfaceTransmitter::transmit(const buffer& message, double pauseBefore) {
    m_request.pauseBefore = pauseBefore;
    m_request.data = message.data();
    m_request.bytesToSend =
        static_cast<uint32_t>(std::min<std::size_t>(message.size(), UINT32_MAX));
    m_request.complete = false;
    if (message.size() > UINT32_MAX || m_service.sendSysex(&m_request) != MidiStatus::ok) {
        ++m_refused;
        return false;
    }
    if (m_stop.requested()) {
        m_service.cancelSysex(&m_request); // a Stop that came between two messages
    }
    std::this_thread::sleep_for(kAfterHandOver);
    return true;
}

void TQMidiInterfaceTransmitter::SysexCompletionProc(MIDISysexSendRequest* request) {
    auto* self = static_cast<TQMidiInterfaceTransmitter*>(request->completionRefCon);
    if (request->status != MidiStatus::ok) {
        ++self->m_refused;
    } else if (request->bytesHandedOver < request->bytesToSend) {
        // Stopped: before any byte of it went, or inside it and closed.
        self->m_stopped = true;
        if (request->bytesHandedOver > 0) {
            self->m_cutShort = self->m_dumpIndex + 1;
        }
    } else {
        ++self->m_sent;
    }
    // The destination or the MIDI system went away: the rest cannot arrive either.
    if (request->status == MidiStatus::noSuchObject ||
        request->status == MidiStatus::serviceFailed) {
        self->m_gone = true;
    }
    self->complete();
}

void TQMidiInterfaceTransmitter::complete() {
    // A message the service did not accept completes at once; the loop (not recursion) takes
    // the next, so a dump of thousands of refused messages cannot exhaust the stack.
    for (;;) {
        if (--m_messageToSend == 0) {
            finish();
            return;
        }
        ++m_dumpIndex;
        const midi::event& next = (*m_dump)[m_dumpIndex];
        // Handed over early where the MIDI system keeps the pause to its own clock.
        const double pause = next.m_offset - m_service.sysexLeadSeconds();
        if (m_gone || m_stop.requested() || !pauseUnlessGone(pause)) {
            abandon(); // this message and every one after it
            return;
        }
        if (transmit(next, next.m_offset)) {
            return;
        }
    }
}

void TQMidiInterfaceTransmitter::finish() {
    if (m_sent > 0) {
        // Cycles missed right after the last message are counted by the time it is over.
        std::this_thread::sleep_for(std::chrono::duration<double>(m_service.sysexLeadSeconds()));
    }
    m_dump = nullptr;
    m_dumpIndex = 0;
    m_messageToSend = 0;
    m_isStillTransmitting = false; // last: the owner may release this object from now on
}
