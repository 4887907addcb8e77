#include "AlsaMidiService.h"

#include <poll.h>

#include <chrono>
#include <vector>

namespace {

constexpr unsigned int kSourceCaps = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned int kDestinationCaps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
// Events the kernel may hold for us before the reading thread takes them: the kernel's
// largest pool.
constexpr int kInputPool = 2000;
constexpr std::size_t kInputBuffer = 1 << 20;
constexpr auto kSharedInputCheckInterval = std::chrono::milliseconds(100);

bool isAnnouncement(snd_seq_event_type_t type) {
    switch (type) {
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_CLIENT_CHANGE:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_PORT_CHANGE:
        return true;
    default:
        return false;
    }
}

// A client's and one of its ports' information, freed on every path out.
struct PortInfo {
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;

    PortInfo() {
        snd_seq_client_info_malloc(&client);
        snd_seq_port_info_malloc(&port);
    }
    PortInfo(const PortInfo&) = delete;
    PortInfo& operator=(const PortInfo&) = delete;
    ~PortInfo() {
        snd_seq_client_info_free(client);
        snd_seq_port_info_free(port);
    }
    // False when the port is not there (or memory ran out).
    bool query(snd_seq_t* seq, int clientId, int portId) {
        return client != nullptr && port != nullptr &&
               snd_seq_get_any_client_info(seq, clientId, client) >= 0 &&
               snd_seq_get_any_port_info(seq, clientId, portId, port) >= 0;
    }
};

// libasound reports on stderr by itself; the caller decides what the user reads.
void silent(const char*, int, const char*, int, const char*, ...) {}

} // namespace

Result<std::unique_ptr<AlsaMidiService>> AlsaMidiService::open(std::string_view clientName) {
    snd_lib_error_set_handler(&silent);
    snd_seq_t* seq = nullptr;
    const int result = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0);
    if (result < 0) {
        return failure(std::string("the ALSA sequencer cannot be opened (/dev/snd/seq: ") +
                       snd_strerror(result) + ")");
    }
    std::unique_ptr<AlsaMidiService> service(new AlsaMidiService(alsa::Seq(seq)));
    if (Result<void> started = service->start(clientName); !started) {
        return failure(started.error());
    }
    return service;
}

AlsaMidiService::AlsaMidiService(alsa::Seq seq) : m_seq(std::move(seq)) {}

Result<void> AlsaMidiService::start(std::string_view clientName) {
    const std::string name(clientName);
    snd_seq_set_client_name(m_seq.get(), name.c_str());
    m_client = snd_seq_client_id(m_seq.get());
    m_inPort = snd_seq_create_simple_port(
        m_seq.get(), "InPort", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    m_outPort = snd_seq_create_simple_port(
        m_seq.get(), "OutPort", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    m_encoder = alsa::newMidiEvent(kSysexChunk);
    if (m_client < 0 || m_inPort < 0 || m_outPort < 0 || !m_encoder) {
        return failure("the ALSA sequencer refused this program's ports");
    }
    snd_midi_event_no_status(m_encoder.get(), 1);
    snd_seq_set_client_pool_input(m_seq.get(), kInputPool);
    snd_seq_set_input_buffer_size(m_seq.get(), kInputBuffer);
    // Clients and ports coming and going are announced here.
    snd_seq_connect_from(m_seq.get(), m_inPort, SND_SEQ_CLIENT_SYSTEM,
                         SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    m_reader = StoppingThread([this] { readLoop(); }, [this] { m_stop = true; });
    startServiceThreads();
    return {};
}

// Its members go in the order that nothing runs on what has gone: the base's threads, the
// reading thread, the raw inputs (their threads), the coder, the sequencer.
AlsaMidiService::~AlsaMidiService() {
    // The threads go before anything they use: the base's (which call into this), the reader,
    // then the raw inputs with their own threads.
    stopServiceThreads();
    m_reader.end();
    std::lock_guard lock(m_rawMutex);
    m_rawInputs.clear();
}

void AlsaMidiService::forEachPort(
    const std::function<bool(int, const char*, const snd_seq_port_info_t*)>& visit) {
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq.get(), client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == SND_SEQ_CLIENT_SYSTEM || id == m_client) {
            continue;
        }
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(m_seq.get(), port) >= 0) {
            if (visit(id, snd_seq_client_info_get_name(client), port)) {
                return;
            }
        }
    }
}

std::vector<MidiServiceBase::EndpointId> AlsaMidiService::ports(unsigned int capabilities) {
    std::vector<EndpointId> found;
    std::lock_guard lock(m_mutex);
    forEachPort([&](int, const char* clientName, const snd_seq_port_info_t* port) {
        const unsigned int caps = snd_seq_port_info_get_capability(port);
        if ((caps & capabilities) == capabilities && !(caps & SND_SEQ_PORT_CAP_NO_EXPORT)) {
            found.push_back(EndpointId{clientName, snd_seq_port_info_get_name(port)});
        }
        return false;
    });
    return found;
}

std::vector<MidiServiceBase::EndpointId> AlsaMidiService::currentSources() {
    return ports(kSourceCaps);
}

std::vector<MidiServiceBase::EndpointId> AlsaMidiService::currentDestinations() {
    return ports(kDestinationCaps);
}

std::optional<AlsaMidiService::Address> AlsaMidiService::addressOf(const EndpointId& id) {
    std::optional<Address> found;
    forEachPort([&](int client, const char* clientName, const snd_seq_port_info_t* port) {
        if (id.manufacturer == clientName && id.name == snd_seq_port_info_get_name(port)) {
            found = Address{client, snd_seq_port_info_get_port(port)};
        }
        return found.has_value();
    });
    return found;
}

std::optional<MidiServiceBase::EndpointId> AlsaMidiService::endpointAt(Address address) {
    std::lock_guard lock(m_mutex);
    if (const auto known = m_names.find(address); known != m_names.end()) {
        return known->second;
    }
    PortInfo info;
    if (!info.query(m_seq.get(), address.first, address.second)) {
        return std::nullopt;
    }
    const EndpointId id{snd_seq_client_info_get_name(info.client),
                        snd_seq_port_info_get_name(info.port)};
    m_names[address] = id;
    return id;
}

std::optional<std::array<int, 3>> AlsaMidiService::rawSubstreamOf(Address address,
                                                                  const EndpointId& id) {
    PortInfo info;
    if (!info.query(m_seq.get(), address.first, address.second)) {
        return std::nullopt;
    }
    const int card = snd_seq_client_info_get_card(info.client);
    // Kernel ports of other kinds (snd-virmidi's, say) are software: the sequencer is their
    // only way in.
    if (snd_seq_client_info_get_type(info.client) != SND_SEQ_KERNEL_CLIENT || card < 0 ||
        !(snd_seq_port_info_get_type(info.port) & SND_SEQ_PORT_TYPE_HARDWARE)) {
        return std::nullopt;
    }
    int device = 0;
    int subdevice = 0;
    if (!rawMidiSubstreamOf(card, address.second, id.name, &device, &subdevice)) {
        return std::nullopt;
    }
    return std::array<int, 3>{card, device, subdevice};
}

MidiStatus AlsaMidiService::routeRawSource(const EndpointId& source,
                                           const std::array<int, 3>& substream) {
    std::lock_guard lock(m_rawMutex);
    if (m_rawInputs.contains(source)) {
        return MidiStatus::ok;
    }
    AlsaRawMidiInput::Handlers handlers{
        [this, source](std::span<const uint8_t> bytes) {
            const MidiPacket packet{0, bytes};
            deliver(source, MidiPacketList(&packet, 1));
        },
        [this, source] { deliverNews(source, MidiPacketKind::bytesLost); },
        [this, source] { deliverNews(source, MidiPacketKind::sourceGone); }};
    auto input = AlsaRawMidiInput::open(substream[0], substream[1], substream[2], m_rawBufferBytes,
                                        std::move(handlers));
    if (!input) {
        setErrorText(input.error());
        return input.code() == -EBUSY ? MidiStatus::busy : MidiStatus::serviceFailed;
    }
    m_rawInputs.emplace(source, std::move(input.value()));
    return MidiStatus::ok;
}

MidiStatus AlsaMidiService::routeSource(const EndpointId& source, bool connect) {
    if (!connect) {
        std::unique_ptr<AlsaRawMidiInput> closing;
        {
            std::lock_guard lock(m_rawMutex);
            if (const auto it = m_rawInputs.find(source); it != m_rawInputs.end()) {
                closing = std::move(it->second);
                m_rawInputs.erase(it);
            }
        }
        if (closing) {
            return MidiStatus::ok; // closed here, its thread ended
        }
        std::lock_guard lock(m_sharedMutex);
        m_sharedInputs.erase(source); // unsubscribed below like any sequencer source
    }
    std::optional<std::array<int, 3>> raw;
    {
        std::lock_guard lock(m_mutex);
        const auto address = addressOf(source);
        if (!address) {
            if (connect) {
                setErrorText("it is not there any more");
            }
            return connect ? MidiStatus::noSuchObject : MidiStatus::ok;
        }
        raw = connect ? rawSubstreamOf(*address, source) : std::nullopt;
        if (!raw) {
            const int result = connect ? snd_seq_connect_from(m_seq.get(), m_inPort, address->first,
                                                              address->second)
                                       : snd_seq_disconnect_from(m_seq.get(), m_inPort,
                                                                 address->first, address->second);
            if (connect && result < 0 && result != -EBUSY) { // EBUSY: subscribed already
                setErrorText(snd_strerror(result));
                return MidiStatus::serviceFailed;
            }
            return MidiStatus::ok;
        }
    }
    const MidiStatus status = routeRawSource(source, *raw);
    return status == MidiStatus::busy ? routeSharedSource(source, *raw) : status;
}

void AlsaMidiService::readLoop() {
    const alsa::MidiEvent decoder = alsa::newMidiEvent(kSysexChunk);
    if (!decoder) {
        return;
    }
    snd_midi_event_no_status(decoder.get(), 1); // every message with its status byte
    std::vector<pollfd> fds(
        static_cast<std::size_t>(snd_seq_poll_descriptors_count(m_seq.get(), POLLIN)));
    snd_seq_poll_descriptors(m_seq.get(), fds.data(), static_cast<unsigned int>(fds.size()),
                             POLLIN);
    std::vector<uint8_t> bytes;
    auto lastSharedCheck = std::chrono::steady_clock::now();
    while (!m_stop) {
        const int ready = poll(fds.data(), fds.size(), 100);
        // Shared inputs' losses are seen while the dump still comes, not only at its end.
        if (const auto now = std::chrono::steady_clock::now();
            now - lastSharedCheck >= kSharedInputCheckInterval) {
            lastSharedCheck = now;
            checkSharedInputs();
        }
        if (ready <= 0) {
            continue;
        }
        // Take what is there, one delivery per source and run of events.
        do {
            snd_seq_event_t* event = nullptr;
            const int result = snd_seq_event_input(m_seq.get(), &event);
            if (result == -ENOSPC) {
                // The kernel dropped events for want of room; it does not say whose. A shared
                // input's own buffer has often overflowed in the same burst: its account, which
                // names the other program, goes first.
                checkSharedInputs();
                deliverNews(std::nullopt, MidiPacketKind::bytesLost);
                continue;
            }
            if (result < 0 || event == nullptr) {
                break;
            }
            if (isAnnouncement(event->type)) {
                {
                    std::lock_guard lock(m_mutex);
                    m_names.clear();
                }
                setupMayHaveChanged();
                continue;
            }
            bytes.clear();
            if (event->type == SND_SEQ_EVENT_SYSEX) {
                const auto* data = static_cast<const uint8_t*>(event->data.ext.ptr);
                bytes.assign(data, data + event->data.ext.len);
            } else {
                uint8_t buffer[16];
                const long n = snd_midi_event_decode(decoder.get(), buffer, sizeof buffer, event);
                if (n > 0) {
                    bytes.assign(buffer, buffer + n);
                }
            }
            if (bytes.empty()) {
                continue;
            }
            const auto from = endpointAt({event->source.client, event->source.port});
            const MidiPacket packet{0, bytes};
            deliver(from, MidiPacketList(&packet, 1));
        } while (!m_stop && snd_seq_event_input_pending(m_seq.get(), 0) > 0);
    }
}

bool AlsaMidiService::routeOutputTo(Address destination) {
    if (m_routedTo == destination) {
        return true;
    }
    if (m_routedTo) {
        snd_seq_disconnect_to(m_seq.get(), m_outPort, m_routedTo->first, m_routedTo->second);
        m_routedTo.reset();
    }
    const int result =
        snd_seq_connect_to(m_seq.get(), m_outPort, destination.first, destination.second);
    if (result < 0 && result != -EBUSY) {
        return false;
    }
    m_routedTo = destination;
    return true;
}

MidiStatus AlsaMidiService::sendShort(const EndpointId& destination, MidiPacketList packets) {
    std::lock_guard lock(m_mutex);
    const auto address = addressOf(destination);
    if (!address) {
        return MidiStatus::noSuchObject;
    }
    if (!routeOutputTo(*address)) {
        return MidiStatus::serviceFailed;
    }
    for (const MidiPacket& packet : packets) {
        snd_midi_event_reset_encode(m_encoder.get());
        for (uint8_t byte : packet.bytes) {
            snd_seq_event_t event;
            snd_seq_ev_clear(&event);
            if (snd_midi_event_encode_byte(m_encoder.get(), byte, &event) != 1) {
                continue; // the message is not complete yet
            }
            snd_seq_ev_set_source(&event, static_cast<unsigned char>(m_outPort));
            snd_seq_ev_set_dest(&event, static_cast<unsigned char>(address->first),
                                static_cast<unsigned char>(address->second));
            snd_seq_ev_set_direct(&event);
            if (snd_seq_event_output_direct(m_seq.get(), &event) < 0) {
                return MidiStatus::serviceFailed;
            }
        }
    }
    return MidiStatus::ok;
}

MidiStatus AlsaMidiService::handOverSysex(const EndpointId& destination,
                                          std::span<const uint8_t> bytes, double) {
    std::optional<Address> address;
    {
        std::lock_guard lock(m_mutex);
        address = addressOf(destination);
        if (address && !routeOutputTo(*address)) {
            return MidiStatus::serviceFailed;
        }
    }
    if (!address) {
        return MidiStatus::noSuchObject;
    }
    // At most a chunk (fullSpeedPart), one event.
    if (bytes.size() > kSysexChunk) {
        return MidiStatus::tooLarge;
    }
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, static_cast<unsigned char>(m_outPort));
    snd_seq_ev_set_dest(&event, static_cast<unsigned char>(address->first),
                        static_cast<unsigned char>(address->second));
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_sysex(&event, static_cast<unsigned int>(bytes.size()),
                         const_cast<uint8_t*>(bytes.data()));
    int result = 0;
    {
        std::lock_guard lock(m_mutex);
        result = snd_seq_event_output_direct(m_seq.get(), &event);
    }
    if (result < 0) {
        return MidiStatus::serviceFailed; // the kernel refused it: the message is refused
    }
    return MidiStatus::ok;
}
