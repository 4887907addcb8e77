#include "JackMidiService.h"

#include <jack/midiport.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <utility>

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kInputRingBytes = 4 << 20;
constexpr std::size_t kOutputRingBytes = 512 << 10;
// A process cycle that does not come within this time means the server has stalled.
constexpr auto kServerStallTimeout = 2s;

void silent(const char*) {}

} // namespace

Result<std::unique_ptr<JackMidiService>> JackMidiService::open(std::string_view clientName) {
    // libjack reports a missing server on stderr; the caller decides what to say.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
    jack_status_t status{};
    const std::string name(clientName);
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client == nullptr) {
        return failure("no JACK server is running");
    }
    std::unique_ptr<JackMidiService> service(new JackMidiService(client));
    if (Result<void> started = service->start(); !started) {
        return failure(started.error());
    }
    return service;
}

JackMidiService::JackMidiService(jack_client_t* client)
    : m_inRing(jack::newRingBuffer(kInputRingBytes)),
      m_outRing(jack::newRingBuffer(kOutputRingBytes)),
      m_client(client, jack::ClientClose{&m_serverGone}),
      m_ownPrefix(std::string(jack_get_client_name(client)) + ":") {}

Result<void> JackMidiService::start() {
    m_in = jack_port_register(m_client.get(), "InPort", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_out =
        jack_port_register(m_client.get(), "OutPort", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (m_in == nullptr || m_out == nullptr || !m_inRing || !m_outRing) {
        return failure("JACK refused this program's MIDI ports");
    }
    jack_set_process_callback(m_client.get(), &process, this);
    jack_set_port_registration_callback(m_client.get(), &portRegistered, this);
    jack_set_client_registration_callback(m_client.get(), &clientRegistered, this);
    jack_on_shutdown(m_client.get(), &shutdown, this);
    jack_set_xrun_callback(m_client.get(), &xrun, this);
    m_sampleRate = jack_get_sample_rate(m_client.get());
    if (jack_activate(m_client.get()) != 0) {
        return failure("JACK did not activate this program's client");
    }
    m_receiver = StoppingThread([this] { receiveLoop(); },
                                [this] {
                                    m_stop = true;
                                    sem_post(m_inReady.get());
                                });
    startServiceThreads();
    return {};
}

JackMidiService::~JackMidiService() {
    // Nothing may run on what goes: the base's threads (they call into this), the receiving
    // thread, then the client (no callback after it closes); the rings and the semaphore last.
    stopServiceThreads();
    m_receiver.end();
    m_client.reset();
    // A look from outside the program (a test, a bug report) at what JACK cost it: a line per
    // client, appended to the file that BANKSHUTTLE_JACK_STATS names.
    if (const char* path = std::getenv("BANKSHUTTLE_JACK_STATS"); path != nullptr && *path != 0) {
        std::ofstream(path, std::ios::app)
            << "missed_cycles " << m_missedCycles << " graph_xruns " << m_graphXruns << '\n';
    }
}

void JackMidiService::portRegistered(jack_port_id_t, int, void* self) {
    static_cast<JackMidiService*>(self)->setupMayHaveChanged();
}

void JackMidiService::clientRegistered(const char*, int, void* self) {
    static_cast<JackMidiService*>(self)->setupMayHaveChanged();
}

std::vector<MidiServiceBase::EndpointId> JackMidiService::ports(unsigned long flags) {
    std::vector<EndpointId> found;
    if (m_serverGone) {
        return found;
    }
    const char** names = jack_get_ports(m_client.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (names == nullptr) {
        return found;
    }
    for (const char** name = names; *name != nullptr; ++name) {
        const std::string_view full(*name);
        const std::size_t colon = full.find(':');
        if (full.starts_with(m_ownPrefix) || colon == std::string_view::npos) {
            continue;
        }
        found.push_back(
            EndpointId{std::string(full.substr(0, colon)), std::string(full.substr(colon + 1))});
    }
    jack_free(names);
    return found;
}

std::vector<MidiServiceBase::EndpointId> JackMidiService::currentSources() {
    return ports(JackPortIsOutput);
}

std::vector<MidiServiceBase::EndpointId> JackMidiService::currentDestinations() {
    return ports(JackPortIsInput);
}

MidiStatus JackMidiService::routeSource(const EndpointId& source, bool connect) {
    if (m_serverGone) {
        return MidiStatus::serviceFailed;
    }
    const std::string from = source.manufacturer + ":" + source.name;
    const char* to = jack_port_name(m_in);
    if (!connect) {
        jack_disconnect(m_client.get(), from.c_str(), to);
        return MidiStatus::ok;
    }
    const int result = jack_connect(m_client.get(), from.c_str(), to);
    if (result == 0 || result == EEXIST) {
        // PipeWire's JACK makes the link after jack_connect has returned: what the source
        // sends before it carries data is lost. Ready only once it is in the graph.
        const auto deadline = std::chrono::steady_clock::now() + kServerStallTimeout;
        while (!jack_port_connected_to(m_in, from.c_str())) {
            if (m_serverGone || std::chrono::steady_clock::now() > deadline) {
                setErrorText("JACK did not connect " + from);
                return MidiStatus::serviceFailed;
            }
            std::this_thread::sleep_for(1ms);
        }
        return waitForCycles(2) ? MidiStatus::ok : MidiStatus::serviceFailed;
    }
    setErrorText("JACK could not connect " + from + " (error " + std::to_string(result) + ")");
    return MidiStatus::noSuchObject;
}

void JackMidiService::tellCountedLosses() {
    // Told once each, whichever thread sees the count move first (this one or a receiver's
    // that is about to word a recording's end); held until the news is delivered, so that a
    // look that finds nothing new knows an earlier look's news has arrived.
    std::lock_guard telling(m_tellMutex);
    if (const uint64_t overruns = m_inputOverruns.load(std::memory_order_relaxed);
        std::exchange(m_overrunsTold, overruns) != overruns) {
        deliverNews(std::nullopt, MidiPacketKind::bytesLost);
    }
    if (const uint64_t misses = m_missedCycles.load(std::memory_order_acquire);
        std::exchange(m_missesTold, misses) != misses) {
        deliverNews(std::nullopt, MidiPacketKind::cyclesMissed, {},
                    m_lastMissAt.load(std::memory_order_relaxed));
    }
}

void JackMidiService::receiveLoop() {
    std::vector<uint8_t> storage;
    std::vector<MidiPacket> packets;
    bool goneSeen = false;
    while (!m_stop) {
        // News first: what the process callback could not pass on, missed cycles with their
        // time, and the server's end.
        tellCountedLosses();
        if (m_serverGone && !goneSeen) {
            goneSeen = true;
            deliverNews(std::nullopt, MidiPacketKind::sourceGone);
            setupMayHaveChanged();
        }
        timespec deadline{};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_nsec += 100'000'000;
        if (deadline.tv_nsec >= 1'000'000'000) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1'000'000'000;
        }
        sem_timedwait(m_inReady.get(), &deadline);
        // Take everything that is there in one packet list: one packet per JACK event.
        storage.clear();
        std::vector<std::size_t> sizes;
        for (;;) {
            uint32_t size = 0;
            const std::size_t available = jack_ringbuffer_read_space(m_inRing.get());
            if (available < sizeof size) {
                break;
            }
            jack_ringbuffer_peek(m_inRing.get(), reinterpret_cast<char*>(&size), sizeof size);
            if (available < sizeof size + size) {
                break;
            }
            jack_ringbuffer_read_advance(m_inRing.get(), sizeof size);
            const std::size_t at = storage.size();
            storage.resize(at + size);
            jack_ringbuffer_read(m_inRing.get(), reinterpret_cast<char*>(storage.data() + at),
                                 size);
            sizes.push_back(size);
        }
        if (sizes.empty()) {
            continue;
        }
        packets.clear();
        std::size_t at = 0;
        for (std::size_t size : sizes) {
            packets.push_back(MidiPacket{0, {storage.data() + at, size}});
            at += size;
        }
        // JACK does not say which connected port an event came from.
        deliver(std::nullopt, packets);
    }
}

bool JackMidiService::waitForCycles(int cycles) {
    const uint64_t target = m_cycles.load(std::memory_order_acquire) + cycles;
    const auto deadline = std::chrono::steady_clock::now() + kServerStallTimeout;
    while (m_cycles.load(std::memory_order_acquire) < target) {
        if (m_serverGone || std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(200us);
    }
    return true;
}

double JackMidiService::sysexLeadSeconds() {
    if (m_serverGone) {
        return 0.0;
    }
    return 2.0 * jack_get_buffer_size(m_client.get()) / m_sampleRate.load();
}

Result<void> JackMidiService::refusal(const Dump& dump, uint32_t bytesPerSecond) {
    if (bytesPerSecond != midi::kFullSpeed) {
        // A message's bytes leave together, in one event.
        return failure("JACK hands each message over in one piece and cannot send slower than "
                       "full speed. Choose full speed, or send this dump over ALSA.");
    }
    const std::size_t largest = largestSysex();
    for (std::size_t i = 0; i < dump.size(); ++i) {
        if (dump[i].size() > largest) {
            return failure("Message " + midi::withThousands(i + 1) + " is " +
                           midi::withThousands(dump[i].size()) + " bytes; JACK carries at most " +
                           midi::withThousands(largest) +
                           " bytes in one event. Send this dump over ALSA.");
        }
    }
    return {};
}

std::size_t JackMidiService::largestSysex() {
    if (m_maxEventSize == 0 && !waitForCycles(1)) {
        return 0; // no cycle comes: nothing can be carried
    }
    const std::size_t reported = m_maxEventSize;
    return reported > kEventSizeMargin ? reported - kEventSizeMargin : 0;
}

uint64_t JackMidiService::queueOutput(std::span<const uint8_t> bytes, bool sysex,
                                      double pauseBefore) {
    const std::size_t need = sizeof(OutputHeader) + bytes.size();
    if (need >= kOutputRingBytes) {
        return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + kServerStallTimeout;
    while (jack_ringbuffer_write_space(m_outRing.get()) < need) {
        if (m_serverGone || std::chrono::steady_clock::now() > deadline) {
            return 0;
        }
        std::this_thread::sleep_for(200us);
    }
    const OutputHeader header{++m_lastQueued, static_cast<uint32_t>(bytes.size()), sysex,
                              pauseBefore};
    jack_ringbuffer_write(m_outRing.get(), reinterpret_cast<const char*>(&header), sizeof header);
    jack_ringbuffer_write(m_outRing.get(), reinterpret_cast<const char*>(bytes.data()),
                          bytes.size());
    return header.sequence;
}

bool JackMidiService::waitForHandOver(uint64_t sequence) {
    uint64_t cycles = m_cycles.load(std::memory_order_acquire);
    auto lastProgress = std::chrono::steady_clock::now();
    while (m_handedOver.load(std::memory_order_acquire) < sequence) {
        if (m_serverGone) {
            return false;
        }
        const uint64_t now = m_cycles.load(std::memory_order_acquire);
        if (now != cycles) {
            cycles = now;
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > kServerStallTimeout) {
            return false;
        }
        std::this_thread::sleep_for(100us);
    }
    return true;
}

MidiStatus JackMidiService::routeOutputTo(const EndpointId& destination) {
    const std::string to = destination.manufacturer + ":" + destination.name;
    if (jack_port_by_name(m_client.get(), to.c_str()) == nullptr) {
        return MidiStatus::noSuchObject;
    }
    if (to == m_routedTo && jack_port_connected_to(m_out, to.c_str())) {
        return MidiStatus::ok;
    }
    // What is queued belongs to the old destination.
    if (!waitForHandOver(m_lastQueued)) {
        return MidiStatus::serviceFailed;
    }
    const char* from = jack_port_name(m_out);
    if (!m_routedTo.empty()) {
        jack_disconnect(m_client.get(), from, m_routedTo.c_str());
        m_routedTo.clear();
    }
    const int result = jack_connect(m_client.get(), from, to.c_str());
    if (result != 0 && result != EEXIST) {
        return MidiStatus::noSuchObject;
    }
    m_routedTo = to;
    // The new connection is in the graph from the next cycle on (PipeWire's JACK makes it
    // after jack_connect has returned).
    const auto deadline = std::chrono::steady_clock::now() + kServerStallTimeout;
    while (!jack_port_connected_to(m_out, to.c_str())) {
        if (m_serverGone || std::chrono::steady_clock::now() > deadline) {
            return MidiStatus::serviceFailed;
        }
        std::this_thread::sleep_for(1ms);
    }
    return waitForCycles(2) ? MidiStatus::ok : MidiStatus::serviceFailed;
}

MidiStatus JackMidiService::sendShort(const EndpointId& destination, MidiPacketList packets) {
    if (m_serverGone) {
        return MidiStatus::serviceFailed;
    }
    std::lock_guard lock(m_outputMutex);
    if (const MidiStatus status = routeOutputTo(destination); status != MidiStatus::ok) {
        return status;
    }
    // A JACK event holds one message: split packets at every status byte.
    for (const MidiPacket& packet : packets) {
        std::size_t start = 0;
        for (std::size_t i = 1; i <= packet.bytes.size(); ++i) {
            if (i == packet.bytes.size() || packet.bytes[i] >= 0x80) {
                if (queueOutput(packet.bytes.subspan(start, i - start), false, 0.0) == 0) {
                    return MidiStatus::serviceFailed;
                }
                start = i;
            }
        }
    }
    return MidiStatus::ok;
}

MidiStatus JackMidiService::handOverSysex(const EndpointId& destination,
                                          std::span<const uint8_t> bytes, double pauseBefore) {
    if (m_serverGone) {
        return MidiStatus::serviceFailed;
    }
    if (bytes.empty()) {
        return MidiStatus::ok;
    }
    const std::size_t largest = largestSysex();
    if (largest == 0) {
        return MidiStatus::serviceFailed;
    }
    if (bytes.size() > largest) {
        return MidiStatus::tooLarge; // JACK carries a MIDI event only in one piece
    }
    uint64_t sequence = 0;
    {
        std::lock_guard lock(m_outputMutex);
        if (const MidiStatus status = routeOutputTo(destination); status != MidiStatus::ok) {
            return status;
        }
        sequence = queueOutput(bytes, true, pauseBefore);
    }
    if (sequence == 0 || !waitForHandOver(sequence)) {
        return MidiStatus::serviceFailed;
    }
    return MidiStatus::ok;
}
