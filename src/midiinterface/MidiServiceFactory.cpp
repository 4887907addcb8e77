#include "MidiServiceFactory.h"

#include "MidiServiceBase.h"
#include "alsa/AlsaMidiService.h"
#include "jack/JackMidiService.h"

#include <cstdlib>

namespace {

// A MIDI system with no endpoints: the program runs and lists none.
class NoMidiService final : public MidiServiceBase {
public:
    NoMidiService() { startServiceThreads(); }
    ~NoMidiService() override { stopServiceThreads(); }
    std::string_view apiName() const override { return "none"; }

protected:
    std::vector<EndpointId> currentSources() override { return {}; }
    std::vector<EndpointId> currentDestinations() override { return {}; }
    MidiStatus routeSource(const EndpointId&, bool) override { return MidiStatus::noSuchObject; }
    MidiStatus sendShort(const EndpointId&, MidiPacketList) override {
        return MidiStatus::noSuchObject;
    }
    MidiStatus handOverSysex(const EndpointId&, std::span<const uint8_t>, double) override {
        return MidiStatus::noSuchObject;
    }
};

void say(std::string* diagnostic, std::string text) {
    if (diagnostic != nullptr) {
        *diagnostic = std::move(text);
    }
}

} // namespace

std::unique_ptr<MidiService> createMidiService(std::string_view clientName,
                                               std::string* diagnostic) {
    const char* wish = std::getenv("BANKSHUTTLE_MIDI_API");
    return createMidiService(clientName, wish != nullptr ? wish : "", diagnostic);
}

std::unique_ptr<MidiService> createMidiService(std::string_view clientName, std::string_view api,
                                               std::string* diagnostic) {
    if (api == "none") {
        return std::make_unique<NoMidiService>();
    }
    if (!api.empty() && api != "alsa" && api != "jack") {
        say(diagnostic, "unknown MIDI system \"" + std::string(api) +
                            "\" (use alsa, jack or none); no MIDI ports available");
        return std::make_unique<NoMidiService>();
    }
    std::string alsaWhy;
    if (api != "jack") {
        auto alsa = AlsaMidiService::open(clientName);
        if (alsa) {
            return std::move(alsa.value());
        }
        alsaWhy = alsa.error();
        if (api == "alsa") {
            say(diagnostic, alsaWhy + "; no MIDI ports available");
            return std::make_unique<NoMidiService>();
        }
    }
    auto jack = JackMidiService::open(clientName);
    if (jack) {
        if (!alsaWhy.empty()) {
            say(diagnostic, alsaWhy + "; using JACK");
        }
        return std::move(jack.value());
    }
    say(diagnostic, "no MIDI system found (" + (alsaWhy.empty() ? "" : alsaWhy + "; ") +
                        jack.error() + "); no MIDI ports available");
    return std::make_unique<NoMidiService>();
}
