#pragma once

#include "AlsaHandles.h"
#include "AlsaRawMidiInput.h"
#include "RawMidiProcInfo.h"
#include "core/Result.h"
#include "midiinterface/MidiServiceBase.h"

#include <alsa/asoundlib.h>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

// The MIDI service on the ALSA sequencer: one sequencer client "BankShuttle" with an input
// port "InPort" (the chosen source is subscribed to it) and an output port "OutPort".
// A hardware source (a port that snd-seq-midi made for a card's raw MIDI substream, such as a
// USB instrument's) is read from its raw MIDI device instead (AlsaRawMidiInput): the
// sequencer's own reader for it loses bytes of a fast sender without a word. The menus show
// the same ports either way. When another program's subscription holds that substream (a2jmidid,
// PipeWire, a MIDI monitor), it is read through the sequencer beside that program, and the
// kernel's count of bytes it dropped is watched: any growth fails the recording, naming the
// program. A substream that a program opened itself (amidi, a DAW) is refused, naming it.
// Endpoints are the ports of other clients that may be subscribed to (the System client
// excluded); manufacturer = client name, display name = port name. A thread of the service's
// own reads the client's events; setup changes come from the System "Announce" port.
//
// Output goes to the one destination that OutPort is subscribed to, since a kernel port opens
// its device only while it has a subscriber. SysEx goes out in sequencer events of at most 256
// bytes, written in blocking mode, each followed by its cable time, so the kernel's small MIDI
// buffers never overflow.
class AlsaMidiService : public MidiServiceBase {
public:
    // Fails with the reason when the sequencer (/dev/snd/seq) cannot be opened.
    static Result<std::unique_ptr<AlsaMidiService>> open(std::string_view clientName);
    ~AlsaMidiService() override;

    std::string_view apiName() const override { return "alsa"; }

    static constexpr std::size_t kSysexChunk = 256;

    // The kernel buffer of raw MIDI inputs opened from now on (32 bytes to 1 MiB); tests make
    // it small to force a loss.
    void setRawInputBufferBytes(std::size_t bytes) { m_rawBufferBytes = bytes; }

protected:
    std::vector<EndpointId> currentSources() override;
    std::vector<EndpointId> currentDestinations() override;
    MidiStatus routeSource(const EndpointId& source, bool connect) override;
    MidiStatus sendShort(const EndpointId& destination, MidiPacketList packets) override;
    MidiStatus handOverSysex(const EndpointId& destination, std::span<const uint8_t> bytes,
                             double pauseBefore) override;
    // A chunk at a time, each after the one before has had its time on the cable, so that the
    // port's buffer never overflows and a Stop can close the message within a chunk's time.
    std::size_t fullSpeedPart() const override { return kSysexChunk; }

private:
    using Address = std::pair<int, int>; // client, port

    explicit AlsaMidiService(alsa::Seq seq);
    Result<void> start(std::string_view clientName);
    // Every port of every other client but the System one, until `visit` says stop.
    // m_mutex held.
    void forEachPort(const std::function<bool(int client, const char* clientName,
                                              const snd_seq_port_info_t* port)>& visit);
    std::vector<EndpointId> ports(unsigned int capabilities);
    std::optional<Address> addressOf(const EndpointId& id); // m_mutex held
    // Subscribes OutPort to the destination (and only to it): a kernel port opens its device
    // only while it is subscribed to. m_mutex held.
    bool routeOutputTo(Address destination);
    std::optional<EndpointId> endpointAt(Address address);
    // The card, device and subdevice of a hardware source's raw MIDI substream. m_mutex held.
    std::optional<std::array<int, 3>> rawSubstreamOf(Address address, const EndpointId& id);
    MidiStatus routeRawSource(const EndpointId& source, const std::array<int, 3>& substream);
    // Subscribes to a hardware source whose substream is held already: shared with another
    // program's subscription, or busy when a program holds the device itself.
    MidiStatus routeSharedSource(const EndpointId& source, const std::array<int, 3>& substream);
    // Reports lost bytes of shared inputs (all, or only `only`) whose kernel count grew.
    void checkSharedInputs(const EndpointId* only = nullptr);
    void tellLosses(const EndpointId& source) override;
    void readLoop();

    alsa::Seq m_seq;
    int m_client = -1;
    int m_inPort = -1;
    int m_outPort = -1;
    std::mutex m_mutex;                    // every use of m_seq but the reading thread's input
    std::map<Address, EndpointId> m_names; // who sent what; renewed on announcements
    alsa::MidiEvent m_encoder;             // m_mutex held
    std::optional<Address> m_routedTo;     // m_mutex held
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_rawBufferBytes{AlsaRawMidiInput::kBufferBytes};
    std::mutex m_rawMutex; // the raw inputs; never held while one is destroyed
    std::map<EndpointId, std::unique_ptr<AlsaRawMidiInput>> m_rawInputs;
    struct SharedInput {
        std::array<int, 3> substream{};
        uint64_t overrunsAtStart = 0;
        OtherProgram sharer;
    };
    std::mutex m_sharedMutex; // the shared inputs; never held while news is delivered
    std::mutex m_tellMutex;   // held by a look at the shared inputs' counts, news delivered
    std::map<EndpointId, SharedInput> m_sharedInputs;
    StoppingThread m_reader; // reads m_seq and the maps above
};
