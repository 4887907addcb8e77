// Until the window exists, the program lists the dump types it recognises and the MIDI
// ports it finds.
#include "dumptypes/KorvoDumptype.h"
#include "midiinterface/MidiServiceFactory.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

#include <cstdio>
#include <initializer_list>

namespace {

// A first message that names the model and kind, long enough for identification.
midi::event header(uint8_t marker, uint8_t model, uint8_t kind) {
    return midi::event{0xF0, 0x31, marker, model, kind, 0xF7};
}

} // namespace

int main() {
    struct Probe {
        uint8_t model;
        uint8_t kind;
    };
    std::printf("BankShuttle knows these dump types:\n");
    const Probe probes[] = {
        {0x55, 0x00}, {0x56, 0x00}, {0x57, 0x00}, {0x58, 0x00}, {0x5A, 0x00}, {0x64, 0x00},
        {0x64, 0x10}, {0x38, 0x00}, {0x38, 0x10}, {0x59, 0x00}, {0x59, 0x10}, {0x66, 0x00},
        {0x66, 0x10}, {0x5C, 0x01}, {0x5C, 0x10}, {0x5B, 0x01}, {0x5B, 0x10}, {0x5B, 0x20},
        {0x5E, 0x01}, {0x5E, 0x10}, {0x5E, 0x20}, {0x77, 0x01}, {0x77, 0x10}, {0x77, 0x03},
        {0x77, 0x55}, {0x77, 0x20}, {0x5D, 0x01}, {0x5D, 0x10}, {0x5D, 0x02}, {0x5D, 0x03},
    };
    for (const Probe& probe : probes) {
        const Dump dump{header(0x00, probe.model, probe.kind)};
        const auto type = identifyDump(&dump);
        std::printf("  model %02x kind %02x  %.*s\n", probe.model, probe.kind,
                    static_cast<int>(type->title().size()), type->title().data());
    }
    for (uint8_t bankModel : {0x38, 0x59, 0x66}) {
        const Dump dump{header(0x0D, 0x60, 0x00), header(0x0D, bankModel, 0x00)};
        const auto type = identifyDump(&dump);
        std::printf("  sound bank %02x       %.*s\n", bankModel,
                    static_cast<int>(type->title().size()), type->title().data());
    }

    std::string diagnostic;
    const auto midi = createMidiService("BankShuttle", &diagnostic);
    if (!diagnostic.empty()) {
        std::fprintf(stderr, "bankshuttle: %s\n", diagnostic.c_str());
    }
    std::printf("MIDI system: %.*s\n", static_cast<int>(midi->apiName().size()),
                midi->apiName().data());
    for (uint16_t i = 0; i < TQMidiInterfaceReceiver::SourceNumber(*midi); ++i) {
        std::printf("  input %u: %s\n", i, TQMidiInterfaceReceiver::SourceNameAt(*midi, i).c_str());
    }
    for (uint16_t i = 0; i < TQMidiInterfaceTransmitter::DestinationNumber(*midi); ++i) {
        std::printf("  output %u: %s\n", i,
                    TQMidiInterfaceTransmitter::DestinationNameAt(*midi, i).c_str());
    }
    return 0;
}
