#include "MidiServiceBase.h"

#include <algorithm>
#include <chrono>

std::vector<MidiServiceBase::EndpointId>
MidiServiceBase::listed(std::vector<EndpointId> endpoints) {
    // Another copy of this program (the window, the command line) is no instrument: its ports
    // are never offered, and its coming and going is no change of the setup. JACK names a
    // second client of one name "BankShuttle-01".
    std::erase_if(endpoints, [](const EndpointId& id) {
        return id.manufacturer == kProgramName || id.manufacturer.starts_with(kProgramName + "-");
    });
    return endpoints;
}

std::string endpointName(MidiService& service, MIDIEndpointRef endpoint) {
    return service.stringProperty(endpoint, EndpointProperty::manufacturer) + ": " +
           service.stringProperty(endpoint, EndpointProperty::displayName);
}

MIDIEndpointRef endpointNamed(MidiService& service, std::string_view name, bool source) {
    const std::size_t count = source ? service.numberOfSources() : service.numberOfDestinations();
    for (std::size_t i = 0; i < count; ++i) {
        const MIDIEndpointRef endpoint = source ? service.source(i) : service.destination(i);
        if (endpoint != 0 && endpointName(service, endpoint) == name) {
            return endpoint;
        }
    }
    return 0;
}

MidiStatus MidiServiceBase::clientCreate(std::string_view, MIDINotifyProc notifyProc,
                                         void* notifyRefCon, MIDIClientRef* outClient) {
    if (outClient == nullptr) {
        return MidiStatus::invalidArgument;
    }
    // What the client sees now is no news to it, even a change that is still settling (its
    // callbacks yet to come): only what differs from this look is.
    std::lock_guard looking(m_lookMutex);
    Snapshot seen = snapshot();
    std::lock_guard lock(m_mutex);
    *outClient = m_nextRef++;
    m_clients[*outClient] = Client{notifyProc, notifyRefCon, std::move(seen)};
    return MidiStatus::ok;
}

MidiStatus MidiServiceBase::clientDispose(MIDIClientRef client) {
    std::vector<MIDIPortRef> ports;
    {
        std::lock_guard lock(m_mutex);
        if (m_clients.erase(client) == 0) {
            return MidiStatus::noSuchObject;
        }
        for (const auto& [ref, port] : m_ports) {
            if (port.client == client) {
                ports.push_back(ref);
            }
        }
    }
    for (MIDIPortRef port : ports) {
        // Found just now: disposed of here, or by another thread meanwhile; gone either way.
        static_cast<void>(portDispose(port));
    }
    // Wait for a notification under way; later ones no longer see the client.
    std::lock_guard wait(m_notifyMutex);
    return MidiStatus::ok;
}

MIDIEndpointRef MidiServiceBase::refFor(const EndpointId& id, bool isSource) {
    auto [it, inserted] = m_endpointRefs.try_emplace({isSource, id}, 0);
    if (inserted) {
        it->second = m_nextRef++;
        m_endpoints[it->second] = {isSource, id};
    }
    return it->second;
}

std::optional<MidiServiceBase::EndpointId> MidiServiceBase::endpointOf(MIDIEndpointRef ref,
                                                                       bool* isSource) {
    std::lock_guard lock(m_mutex);
    const auto it = m_endpoints.find(ref);
    if (it == m_endpoints.end()) {
        return std::nullopt;
    }
    if (isSource != nullptr) {
        *isSource = it->second.first;
    }
    return it->second.second;
}

std::size_t MidiServiceBase::numberOfSources() {
    return listed(currentSources()).size();
}

std::size_t MidiServiceBase::numberOfDestinations() {
    return listed(currentDestinations()).size();
}

MIDIEndpointRef MidiServiceBase::source(std::size_t index) {
    const std::vector<EndpointId> all = listed(currentSources());
    if (index >= all.size()) {
        return 0;
    }
    std::lock_guard lock(m_mutex);
    return refFor(all[index], true);
}

MIDIEndpointRef MidiServiceBase::destination(std::size_t index) {
    const std::vector<EndpointId> all = listed(currentDestinations());
    if (index >= all.size()) {
        return 0;
    }
    std::lock_guard lock(m_mutex);
    return refFor(all[index], false);
}

std::string MidiServiceBase::stringProperty(MIDIEndpointRef endpoint, EndpointProperty property) {
    const auto id = endpointOf(endpoint);
    if (!id) {
        return {};
    }
    return property == EndpointProperty::manufacturer ? id->manufacturer : id->name;
}

MidiStatus MidiServiceBase::inputPortCreate(MIDIClientRef client, std::string_view,
                                            MIDIReadProc readProc, void* refCon,
                                            MIDIPortRef* outPort) {
    if (outPort == nullptr || readProc == nullptr) {
        return MidiStatus::invalidArgument;
    }
    std::lock_guard lock(m_mutex);
    if (!m_clients.contains(client)) {
        return MidiStatus::noSuchObject;
    }
    *outPort = m_nextRef++;
    m_ports[*outPort] = Port{client, true, readProc, refCon, {}};
    return MidiStatus::ok;
}

MidiStatus MidiServiceBase::outputPortCreate(MIDIClientRef client, std::string_view,
                                             MIDIPortRef* outPort) {
    if (outPort == nullptr) {
        return MidiStatus::invalidArgument;
    }
    std::lock_guard lock(m_mutex);
    if (!m_clients.contains(client)) {
        return MidiStatus::noSuchObject;
    }
    *outPort = m_nextRef++;
    m_ports[*outPort] = Port{client, false, nullptr, nullptr, {}};
    return MidiStatus::ok;
}

MidiStatus MidiServiceBase::portDispose(MIDIPortRef port) {
    std::vector<MIDIEndpointRef> sources;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_ports.find(port);
        if (it == m_ports.end()) {
            return MidiStatus::noSuchObject;
        }
        for (const auto& [source, context] : it->second.connections) {
            sources.push_back(source);
        }
    }
    for (MIDIEndpointRef source : sources) {
        // Found just now: disconnected here, or by another thread meanwhile.
        static_cast<void>(portDisconnectSource(port, source));
    }
    std::lock_guard lock(m_mutex);
    m_ports.erase(port);
    return MidiStatus::ok;
}

MidiStatus MidiServiceBase::portConnectSource(MIDIPortRef port, MIDIEndpointRef source,
                                              void* connRefCon) {
    bool isSource = false;
    const auto id = endpointOf(source, &isSource);
    if (!id || !isSource) {
        return MidiStatus::noSuchObject;
    }
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_ports.find(port);
        if (it == m_ports.end() || !it->second.input) {
            return MidiStatus::noSuchObject;
        }
        it->second.connections[source] = connRefCon;
    }
    const MidiStatus status = routeSource(*id, true);
    if (status != MidiStatus::ok) {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_ports.find(port); it != m_ports.end()) {
            it->second.connections.erase(source);
        }
    }
    return status;
}

void MidiServiceBase::lookAtLosses(MIDIEndpointRef source) {
    if (const auto id = endpointOf(source)) {
        tellLosses(*id);
    }
}

MidiStatus MidiServiceBase::portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) {
    const auto id = endpointOf(source);
    bool stillWanted = false;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_ports.find(port);
        if (it == m_ports.end() || !it->second.connections.contains(source)) {
            return MidiStatus::noSuchObject;
        }
        for (const auto& [ref, other] : m_ports) {
            stillWanted = stillWanted || (ref != port && other.connections.contains(source));
        }
    }
    if (id && !stillWanted) {
        tellLosses(*id);
    }
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_ports.find(port);
        if (it == m_ports.end() || it->second.connections.erase(source) == 0) {
            return MidiStatus::noSuchObject; // disconnected by another thread meanwhile
        }
    }
    if (id && !stillWanted) {
        // A failure means the source or the MIDI system has gone: nothing is routed either way.
        static_cast<void>(routeSource(*id, false));
    }
    // Wait for a delivery that is under way; later ones no longer see the connection.
    std::lock_guard wait(m_deliveryMutex);
    return MidiStatus::ok;
}

void MidiServiceBase::deliver(const std::optional<EndpointId>& from, MidiPacketList packets) {
    std::lock_guard delivering(m_deliveryMutex);
    // Reused from delivery to delivery (it is this mutex's), so that no delivery allocates.
    std::vector<DeliveryTarget>& targets = m_targets;
    targets.clear();
    {
        std::lock_guard lock(m_mutex);
        MIDIEndpointRef fromRef = 0;
        if (from) {
            const auto it = m_endpointRefs.find({true, *from});
            if (it == m_endpointRefs.end()) {
                return; // nobody ever asked for this source
            }
            fromRef = it->second;
        }
        for (const auto& [ref, port] : m_ports) {
            for (const auto& [source, context] : port.connections) {
                if (fromRef == 0 || source == fromRef) {
                    targets.push_back({port.readProc, port.refCon, context});
                }
            }
        }
    }
    for (const DeliveryTarget& target : targets) {
        target.proc(packets, target.refCon, target.connRefCon);
    }
}

void MidiServiceBase::deliverNews(const std::optional<EndpointId>& from, MidiPacketKind kind,
                                  std::string_view detail, uint64_t timeStamp) {
    const MidiPacket news{timeStamp, {}, kind, detail};
    deliver(from, MidiPacketList(&news, 1));
}

void MidiServiceBase::setErrorText(std::string text) {
    std::lock_guard lock(m_errorMutex);
    m_errorText = std::move(text);
}

std::string MidiServiceBase::lastErrorText() {
    std::lock_guard lock(m_errorMutex);
    return m_errorText;
}

void MidiServiceBase::reportGoneSources(const std::vector<EndpointId>& sources) {
    std::vector<EndpointId> gone;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [ref, port] : m_ports) {
            for (const auto& [source, context] : port.connections) {
                const auto it = m_endpoints.find(source);
                if (it != m_endpoints.end() &&
                    std::find(sources.begin(), sources.end(), it->second.second) == sources.end()) {
                    gone.push_back(it->second.second);
                }
            }
        }
    }
    for (const EndpointId& id : gone) {
        deliverNews(id, MidiPacketKind::sourceGone);
    }
}

MidiStatus MidiServiceBase::send(MIDIPortRef port, MIDIEndpointRef destination,
                                 MidiPacketList packets) {
    bool isSource = true;
    const auto id = endpointOf(destination, &isSource);
    if (!id || isSource) {
        return MidiStatus::noSuchObject;
    }
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_ports.find(port);
        if (it == m_ports.end() || it->second.input) {
            return MidiStatus::noSuchObject;
        }
    }
    return sendShort(*id, packets);
}
