#include "dumptypes/DeviceDumptypes.h"
#include "dumptypes/KorvoDumptype.h"
#include "dumptypes/SoundbankDumptypes.h"

#include <gtest/gtest.h>

#include <set>
#include <typeindex>
#include <vector>

namespace {

midi::event message(std::initializer_list<uint8_t> bytes) {
    return midi::event(bytes);
}

// A first message of the maker with the given bytes 2, 3 and 4.
midi::event korvo(uint8_t b2, uint8_t model, uint8_t kind) {
    return message({0xF0, 0x31, b2, model, kind, 0x01, 0xF7});
}

struct Row {
    const char* what;
    Dump dump;
    std::type_index expected;
    const char* title;
    bool hasChannel;
};

template <class T>
std::type_index is() {
    return typeid(T);
}

std::vector<Row> everyClass() {
    const midi::event bank = korvo(0x0D, 0x60, 0x09);
    return {
        {"empty", {}, is<EmptyDump>(), "", false},
        {"foreign maker",
         {message({0xF0, 0x41, 0x00, 0x38, 0x00, 0xF7})},
         is<NoKorvoDump>(),
         "NO KoRvO Dump",
         false},
        {"unknown model",
         {korvo(0x00, 0x60, 0x00)},
         is<UnknownKorvoDump>(),
         "UNKNOWN KoRvO Dump",
         false},
        {"0x55", {korvo(0, 0x55, 0x7F)}, is<Tonwerk40Presets>(), "Tonwerk40 - Presets", false},
        {"0x56", {korvo(0, 0x56, 0x10)}, is<Pulsar70Presets>(), "PuLsar70 - Presets", true},
        {"0x57", {korvo(0, 0x57, 0x00)}, is<CaDenza20Presets>(), "CaDenza20 - Presets", true},
        {"0x58",
         {korvo(0, 0x58, 0x33)},
         is<Rumbler10Presets>(),
         "Rumbler10 | Rumbler 12 - Presets",
         false},
        {"0x5A", {korvo(0, 0x5A, 0x01)}, is<SKinet30Presets>(), "S.Kinet30 - Presets", false},
        {"0x64 clear",
         {korvo(0, 0x64, 0x0F)},
         is<VortexCascadePresets>(),
         "Vortex Cascade - Presets",
         true},
        {"0x64 set", {korvo(0, 0x64, 0x10)}, is<VortexCascadeOS>(), "Vortex Cascade - OS", true},
        {"0x38 clear",
         {korvo(0, 0x38, 0x00)},
         is<STRATA500Presets>(),
         "STRATA 500 - Presets",
         true},
        {"0x38 set", {korvo(0, 0x38, 0x1F)}, is<STRATA500OS>(), "STRATA 500 - OS", true},
        {"0x59 clear",
         {korvo(0, 0x59, 0x2F)},
         is<STRATA600Presets>(),
         "STRATA 600 - Presets",
         true},
        {"0x59 set", {korvo(0, 0x59, 0x30)}, is<STRATA600OS>(), "STRATA 600 - OS", true},
        {"0x66 clear",
         {korvo(0, 0x66, 0x45)},
         is<HelionPresets>(),
         "Helion | Helion Mk 2 - Presets",
         true},
        {"0x66 set", {korvo(0, 0x66, 0x11)}, is<HelionOS>(), "Helion - OS", true},
        {"0x5C 01",
         {korvo(0, 0x5C, 0x01)},
         is<RevKinet30Presets>(),
         "Rev.Kinet 30 - Presets",
         false},
        {"0x5C 10", {korvo(0, 0x5C, 0x10)}, is<RevKinet30OS>(), "Rev.Kinet 30 - OS", false},
        {"0x5B 01", {korvo(0, 0x5B, 0x01)}, is<Gravel40Presets>(), "Gravel 40 - Presets", false},
        {"0x5B 10", {korvo(0, 0x5B, 0x10)}, is<Gravel40OS>(), "Gravel 40 - OS", false},
        {"0x5B 20",
         {korvo(0, 0x5B, 0x20)},
         is<Gravel40FlashUpdate>(),
         "Gravel 40 - Flash Update",
         false},
        {"0x5E 01",
         {korvo(0, 0x5E, 0x01)},
         is<Gravel40MkIIPresets>(),
         "Gravel40 Mk II - Presets",
         false},
        {"0x5E 10", {korvo(0, 0x5E, 0x10)}, is<Gravel40MkIIOS>(), "Gravel40 Mk II - OS", false},
        {"0x5E 20",
         {korvo(0, 0x5E, 0x20)},
         is<Gravel40MkIIFlashUpdate>(),
         "Gravel40 Mk II - Flash Update",
         false},
        {"0x77 01", {korvo(0, 0x77, 0x01)}, is<starfellPresets>(), "starfell - Presets", false},
        {"0x77 10", {korvo(0, 0x77, 0x10)}, is<starfellOS>(), "starfell - OS", false},
        {"0x77 03", {korvo(0, 0x77, 0x03)}, is<starfellSequence>(), "starfell - Sequence", false},
        {"0x77 55",
         {korvo(0, 0x77, 0x55)},
         is<starfellFXAlgorithm>(),
         "starfell - FX Algorithm",
         false},
        {"0x77 20",
         {korvo(0, 0x77, 0x20)},
         is<starfellFlashUpdate>(),
         "starfell - Flash Update",
         false},
        {"0x5D 01", {korvo(0, 0x5D, 0x01)}, is<OMNIGRIDPresets>(), "OMNIGRID - Presets", false},
        {"0x5D 10", {korvo(0, 0x5D, 0x10)}, is<OMNIGRIDOS>(), "OMNIGRID - OS", false},
        {"0x5D 02",
         {korvo(0, 0x5D, 0x02)},
         is<OMNIGRIDSinglePattern>(),
         "OMNIGRID - Single Pattern",
         false},
        {"0x5D 03",
         {korvo(0, 0x5D, 0x03)},
         is<OMNIGRIDSingleSample>(),
         "OMNIGRID - Single Sample",
         false},
        {"bank 0x38",
         {bank, korvo(0x0D, 0x38, 0x00)},
         is<STRATA500Soundbank>(),
         "STRATA 500 - Soundbank S05",
         true},
        {"bank 0x59",
         {bank, korvo(0x0D, 0x59, 0x00)},
         is<STRATA600Soundbank>(),
         "STRATA 600 - Soundbank S05",
         true},
        {"bank 0x66",
         {bank, korvo(0x0D, 0x66, 0x00)},
         is<HelionSoundbank>(),
         "Helion - Soundbank Bank 10",
         true},
    };
}

TEST(IdentifyDump, EveryClassIsReachableWithItsTitleAndChannel) {
    const std::vector<Row> rows = everyClass();
    std::set<std::type_index> seen;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto type = identifyDump(&row.dump);
        ASSERT_NE(type, nullptr);
        const KorvoDumptype& t = *type;
        EXPECT_EQ(std::type_index(typeid(t)), row.expected);
        EXPECT_EQ(type->title(), row.title);
        EXPECT_EQ(type->hasChannel(), row.hasChannel);
        EXPECT_EQ(type->eventCount(), row.dump.size());
        seen.insert(typeid(t));
    }
    EXPECT_EQ(seen.size(), 36u);
}

std::type_index typeOf(const Dump& dump) {
    const auto type = identifyDump(&dump);
    const KorvoDumptype& t = *type;
    return typeid(t);
}

TEST(IdentifyDump, OnlyBit0x10DecidesForTheBitRows) {
    for (int k = 0; k < 256; ++k) {
        SCOPED_TRACE(k);
        const uint8_t kind = static_cast<uint8_t>(k);
        const bool os = (kind & 0x10) != 0;
        EXPECT_EQ(typeOf({korvo(0, 0x38, kind)}), os ? is<STRATA500OS>() : is<STRATA500Presets>());
        EXPECT_EQ(typeOf({korvo(0, 0x59, kind)}), os ? is<STRATA600OS>() : is<STRATA600Presets>());
        EXPECT_EQ(typeOf({korvo(0, 0x64, kind)}),
                  os ? is<VortexCascadeOS>() : is<VortexCascadePresets>());
        EXPECT_EQ(typeOf({korvo(0, 0x66, kind)}), os ? is<HelionOS>() : is<HelionPresets>());
        EXPECT_EQ(typeOf({korvo(0, 0x56, kind)}), is<Pulsar70Presets>());
        EXPECT_EQ(typeOf({korvo(0, 0x57, kind)}), is<CaDenza20Presets>());
    }
}

TEST(IdentifyDump, ForeignOrTooShortFirstMessageIsNoKorvoDump) {
    EXPECT_EQ(typeOf({message({})}), is<NoKorvoDump>());
    EXPECT_EQ(typeOf({message({0xF0}), korvo(0, 0x38, 0)}), is<NoKorvoDump>());
    // Later messages of the maker do not count.
    EXPECT_EQ(typeOf({message({0xF0, 0x43, 0x00, 0x38, 0x00, 0xF7}), korvo(0, 0x38, 0)}),
              is<NoKorvoDump>());
}

TEST(IdentifyDump, KindOutsideTheRowFallsBack) {
    // Model 0x77 with a kind it does not know and no sound bank marker.
    EXPECT_EQ(typeOf({korvo(0x00, 0x77, 0x02)}), is<UnknownKorvoDump>());
    // Model 0x5B with kind 0x11: a sound bank when marked, unknown otherwise.
    EXPECT_EQ(typeOf({korvo(0x0D, 0x5B, 0x11), korvo(0x0D, 0x59, 0)}), is<STRATA600Soundbank>());
    EXPECT_EQ(typeOf({korvo(0x00, 0x5B, 0x11), korvo(0x0D, 0x59, 0)}), is<UnknownKorvoDump>());
    // Models between the table's rows.
    for (uint8_t model : {0x5F, 0x60, 0x61, 0x62, 0x63, 0x65, 0x00, 0x7F, 0xFF}) {
        EXPECT_EQ(typeOf({korvo(0x00, model, 0x01)}), is<UnknownKorvoDump>()) << int(model);
    }
}

TEST(IdentifyDump, SoundbankNeedsMarkerAndSecondMessage) {
    EXPECT_EQ(typeOf({korvo(0x0D, 0x60, 0x00), korvo(0x0D, 0x59, 0)}), is<STRATA600Soundbank>());
    EXPECT_EQ(typeOf({korvo(0x0D, 0x60, 0x00), korvo(0x0D, 0x5B, 0)}), is<UnknownKorvoDump>());
    // A model that the table accepts never becomes a sound bank.
    for (uint8_t model : {0x38, 0x59, 0x66}) {
        const std::type_index got = typeOf({korvo(0x0D, model, 0x00), korvo(0x0D, model, 0)});
        EXPECT_NE(got, is<STRATA500Soundbank>());
        EXPECT_NE(got, is<STRATA600Soundbank>());
        EXPECT_NE(got, is<HelionSoundbank>());
    }
    EXPECT_EQ(typeOf({korvo(0x0D, 0x38, 0x12)}), is<STRATA500OS>());
}

TEST(IdentifyDump, MissingBytesMatchNothingAndAreNeverRead) {
    // Each message is its own allocation, so the sanitizer build catches a read past it.
    // First message without byte 3: no model row, no sound bank byte.
    EXPECT_EQ(typeOf({message({0xF0, 0x31})}), is<UnknownKorvoDump>());
    EXPECT_EQ(typeOf({message({0xF0, 0x31, 0x0D}), korvo(0x0D, 0x38, 0)}),
              is<STRATA500Soundbank>());
    // Without byte 4, rows that test the kind do not match; rows that ignore it do.
    EXPECT_EQ(typeOf({message({0xF0, 0x31, 0x00, 0x38})}), is<UnknownKorvoDump>());
    EXPECT_EQ(typeOf({message({0xF0, 0x31, 0x00, 0x77})}), is<UnknownKorvoDump>());
    EXPECT_EQ(typeOf({message({0xF0, 0x31, 0x00, 0x55})}), is<Tonwerk40Presets>());
    // Sound bank marker but no second message, or one too short for byte 3.
    EXPECT_EQ(typeOf({korvo(0x0D, 0x60, 0x00)}), is<UnknownKorvoDump>());
    EXPECT_EQ(typeOf({korvo(0x0D, 0x60, 0x00), message({0xF0, 0x31, 0x0D})}),
              is<UnknownKorvoDump>());
    EXPECT_EQ(typeOf({korvo(0x0D, 0x60, 0x00), message({})}), is<UnknownKorvoDump>());
}

std::string titleOf(const Dump& dump) {
    return std::string(identifyDump(&dump)->title());
}

TEST(Soundbank, BankNumbers) {
    auto strata = [](uint8_t kind) {
        return titleOf({korvo(0x0D, 0x60, kind), korvo(0x0D, 0x38, 0)});
    };
    EXPECT_EQ(strata(0x09), "STRATA 500 - Soundbank S05");
    EXPECT_EQ(strata(0x00), "STRATA 500 - Soundbank S01");
    EXPECT_EQ(strata(0x12), "STRATA 500 - Soundbank S10");
    EXPECT_EQ(strata(0x3E), "STRATA 500 - Soundbank S32");
    EXPECT_EQ(strata(0x3F), "STRATA 500 - Soundbank S32");
    EXPECT_EQ(strata(0x40), "STRATA 500 - Soundbank S01");
    EXPECT_EQ(strata(0x41), "STRATA 500 - Soundbank S01");
    EXPECT_EQ(titleOf({korvo(0x0D, 0x60, 0x09), korvo(0x0D, 0x59, 0)}),
              "STRATA 600 - Soundbank S05");

    auto helion = [](uint8_t kind) {
        return titleOf({korvo(0x0D, 0x60, kind), korvo(0x0D, 0x66, 0)});
    };
    EXPECT_EQ(helion(0x00), "Helion - Soundbank Bank 1");
    EXPECT_EQ(helion(0x3F), "Helion - Soundbank Bank 64");
    EXPECT_EQ(helion(0x45), "Helion - Soundbank Bank 6");
    EXPECT_EQ(helion(0xFF), "Helion - Soundbank Bank 64");

    // A first message too short for byte 4 shows bank 1.
    EXPECT_EQ(titleOf({message({0xF0, 0x31, 0x0D, 0x60}), korvo(0x0D, 0x38, 0)}),
              "STRATA 500 - Soundbank S01");
    EXPECT_EQ(titleOf({message({0xF0, 0x31, 0x0D, 0x60}), korvo(0x0D, 0x66, 0)}),
              "Helion - Soundbank Bank 1");
}

TEST(Soundbank, TitleIsFixedAtIdentification) {
    Dump dump{korvo(0x0D, 0x60, 0x09), korvo(0x0D, 0x38, 0)};
    const auto type = identifyDump(&dump);
    dump[0][4] = 0x3E;
    EXPECT_EQ(type->title(), "STRATA 500 - Soundbank S05");
    EXPECT_EQ(type->receiveInstruction(), "");
    EXPECT_EQ(type->transmitInstruction(), "");
}

} // namespace
