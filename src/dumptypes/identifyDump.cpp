#include "DeviceDumptypes.h"
#include "KorvoDumptype.h"
#include "SoundbankDumptypes.h"

#include <optional>

namespace {

constexpr uint8_t kManufacturer = 0x31;
constexpr uint8_t kSoundbankMarker = 0x0D;

using Created = std::unique_ptr<KorvoDumptype>;

// A byte the message lacks matches none of the values it is compared with.
std::optional<uint8_t> byteAt(const midi::event& message, std::size_t index) {
    if (index < message.size()) {
        return message[index];
    }
    return std::nullopt;
}

template <class Type>
Created make(const Dump* dump) {
    return std::make_unique<Type>(dump);
}

// Rows that look only at bit 0x10 of the kind byte.
template <class WithBit, class WithoutBit>
Created byBit0x10(const Dump* dump, std::optional<uint8_t> kind) {
    if (!kind) {
        return nullptr;
    }
    return (*kind & 0x10) ? make<WithBit>(dump) : make<WithoutBit>(dump);
}

// The model table on byte 3 of the first message; null when no row matches.
Created fromModelTable(const Dump* dump, uint8_t model, std::optional<uint8_t> kind) {
    const int k = kind ? *kind : -1;
    switch (model) {
    case 0x38:
        return byBit0x10<STRATA500OS, STRATA500Presets>(dump, kind);
    case 0x55:
        return make<Tonwerk40Presets>(dump);
    case 0x56:
        return make<Pulsar70Presets>(dump);
    case 0x57:
        return make<CaDenza20Presets>(dump);
    case 0x58:
        return make<Rumbler10Presets>(dump);
    case 0x59:
        return byBit0x10<STRATA600OS, STRATA600Presets>(dump, kind);
    case 0x5A:
        return make<SKinet30Presets>(dump);
    case 0x5B:
        switch (k) {
        case 0x01:
            return make<Gravel40Presets>(dump);
        case 0x10:
            return make<Gravel40OS>(dump);
        case 0x20:
            return make<Gravel40FlashUpdate>(dump);
        }
        return nullptr;
    case 0x5C:
        switch (k) {
        case 0x01:
            return make<RevKinet30Presets>(dump);
        case 0x10:
            return make<RevKinet30OS>(dump);
        }
        return nullptr;
    case 0x5D:
        switch (k) {
        case 0x01:
            return make<OMNIGRIDPresets>(dump);
        case 0x02:
            return make<OMNIGRIDSinglePattern>(dump);
        case 0x03:
            return make<OMNIGRIDSingleSample>(dump);
        case 0x10:
            return make<OMNIGRIDOS>(dump);
        }
        return nullptr;
    case 0x5E:
        switch (k) {
        case 0x01:
            return make<Gravel40MkIIPresets>(dump);
        case 0x10:
            return make<Gravel40MkIIOS>(dump);
        case 0x20:
            return make<Gravel40MkIIFlashUpdate>(dump);
        }
        return nullptr;
    case 0x64:
        return byBit0x10<VortexCascadeOS, VortexCascadePresets>(dump, kind);
    case 0x66:
        return byBit0x10<HelionOS, HelionPresets>(dump, kind);
    case 0x77:
        switch (k) {
        case 0x01:
            return make<starfellPresets>(dump);
        case 0x03:
            return make<starfellSequence>(dump);
        case 0x10:
            return make<starfellOS>(dump);
        case 0x20:
            return make<starfellFlashUpdate>(dump);
        case 0x55:
            return make<starfellFXAlgorithm>(dump);
        }
        return nullptr;
    }
    return nullptr;
}

// A sound bank announces itself with 0x0D in byte 2 and names its model in byte 3 of the
// second message.
Created soundbankOrUnknown(const Dump* dump) {
    const Dump& messages = *dump;
    if (byteAt(messages[0], 2) == kSoundbankMarker && messages.size() >= 2) {
        switch (byteAt(messages[1], 3).value_or(0)) {
        case 0x38:
            return make<STRATA500Soundbank>(dump);
        case 0x59:
            return make<STRATA600Soundbank>(dump);
        case 0x66:
            return make<HelionSoundbank>(dump);
        }
    }
    return make<UnknownKorvoDump>(dump);
}

} // namespace

std::unique_ptr<KorvoDumptype> identifyDump(const Dump* dump) {
    if (dump->empty()) {
        return make<EmptyDump>(dump);
    }
    const midi::event& first = dump->front();
    if (byteAt(first, 1) != kManufacturer) {
        return make<NoKorvoDump>(dump);
    }
    if (const auto model = byteAt(first, 3)) {
        if (Created type = fromModelTable(dump, *model, byteAt(first, 4))) {
            return type;
        }
    }
    return soundbankOrUnknown(dump);
}
