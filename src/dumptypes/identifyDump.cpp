#include "DeviceDumptypes.h"
#include "KorvoDumptype.h"
#include "SoundbankDumptypes.h"

#include <array>
#include <iterator>
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

// The makers of the catalogue's rows, in its order.
constexpr Created (*kMakeDevice[])(const Dump*) = {
#define KORVO_DEVICE_MAKER(Name, ...) &make<Name>,
    KORVO_DEVICE_DUMPTYPES(KORVO_DEVICE_MAKER)
#undef KORVO_DEVICE_MAKER
};
static_assert(std::size(kMakeDevice) == std::size(kDeviceRows));

// Where each model's rows begin in the catalogue (they stand together), so that a lookup
// reads only those: kNoRow for a model the catalogue does not know.
constexpr uint8_t kNoRow = 0xFF;
constexpr std::array<uint8_t, 256> firstRows() {
    std::array<uint8_t, 256> first{};
    first.fill(kNoRow);
    for (std::size_t i = std::size(kDeviceRows); i-- > 0;) {
        first[kDeviceRows[i].model] = static_cast<uint8_t>(i);
    }
    return first;
}
constexpr std::array<uint8_t, 256> kFirstRow = firstRows();

constexpr bool modelsStandTogether() {
    for (std::size_t i = 0; i < std::size(kDeviceRows); ++i) {
        for (std::size_t j = kFirstRow[kDeviceRows[i].model]; j < i; ++j) {
            if (kDeviceRows[j].model != kDeviceRows[i].model) {
                return false;
            }
        }
    }
    return std::size(kDeviceRows) < kNoRow;
}
static_assert(modelsStandTogether(), "a model's rows must stand together in the catalogue");

// The first row of the catalogue for byte 3 and 4 of the first message; null when none.
Created fromCatalogue(const Dump* dump, uint8_t model, std::optional<uint8_t> kind) {
    for (std::size_t i = kFirstRow[model];
         i < std::size(kDeviceRows) && kDeviceRows[i].model == model; ++i) {
        if (kDeviceRows[i].kind.matches(kind)) {
            return kMakeDevice[i](dump);
        }
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
        if (Created type = fromCatalogue(dump, *model, byteAt(first, 4))) {
            return type;
        }
    }
    return soundbankOrUnknown(dump);
}
