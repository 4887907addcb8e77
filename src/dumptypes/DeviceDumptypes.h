#pragma once

#include "KorvoDumptype.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Every dump type whose answers are constants: the three of identification (empty, foreign,
// unrecognised) and one per instrument model and dump kind. All titles, instruction texts and
// what identifies each model stand here; each row becomes a class of its own name.

namespace korvo_texts {
inline constexpr const char* kNotSupported = "This feature is not supported !";
inline constexpr const char* kSendPresetsFromMidiChMenu =
    "Select the menu <Midi Ch> (1st green LED) and send off the preset dump!";
inline constexpr const char* kSendOsWithMenuOff =
    "Make sure the menu is off (no LED lights) and just send off the OS dump!";
inline constexpr const char* kStarfellReceiveOn =
    "On the Starfell please press\nMIDI -> Cursor right to \"RcvOff\" -> switch to \"RcvOn\" by "
    "turning the DATA encoder right or pressing the Up button!";
} // namespace korvo_texts

// The three types of identification.
// X(class, title, receiveInstruction, transmitInstruction, hasChannel)
// clang-format off
#define KORVO_IDENTIFICATION_DUMPTYPES(X) \
    X(EmptyDump, "", "", "", false) \
    X(NoKorvoDump, "NO KoRvO Dump", \
      "Make sure that the device is ready for SysEx transfer!", \
      "Make sure that the device is ready for SysEx reception!", false) \
    X(UnknownKorvoDump, "UNKNOWN KoRvO Dump", \
      "Make sure that the KoRvO device is ready for SysEx transfer!", \
      "Make sure that the KoRvO device is ready for SysEx reception!", false)

// One row per instrument model and kind of data: what identifies it (the model byte, byte 3 of
// the first message, and what byte 4 holds), its texts, and whether the model needs every
// message paced. identifyDump takes the first row that matches.
// D(class, model, kindMatch, title, receiveInstruction, transmitInstruction, hasChannel, paced)
#define KORVO_DEVICE_DUMPTYPES(D) \
    D(Tonwerk40Presets, 0x55, anyKind(), "Tonwerk40 - Presets", \
      "On your Tonwerk40 please press\nSHIFT -> Midi Mode -> UP to dMP -> Enter !", \
      "On your Tonwerk40 please press\nSHIFT -> Midi Mode -> UP to Ld -> Enter !", false, false) \
    D(Pulsar70Presets, 0x56, anyKind(), "PuLsar70 - Presets", \
      "On your PuLsar70 please press\nMidi -> Cursor right to \"BDumpGo\" -> Enter !", \
      "On your PuLsar70 please press\nMidi -> Cursor right to \"BLoadGo\" -> Enter !", true, false) \
    D(CaDenza20Presets, 0x57, anyKind(), "CaDenza20 - Presets", \
      "On your CaDenza20 please press\nMidi -> Cursor right to \"BDumpGo\" -> Enter !", \
      "On your CaDenza20 please press\nMidi -> Cursor right to \"BLoadGo\" -> Enter !", true, false) \
    D(Rumbler10Presets, 0x58, anyKind(), "Rumbler10 | Rumbler 12 - Presets", \
      "On your Rumbler10 please press\nCursor Up + Play -> left Cursor Down to \"Sys Dmp\" -> Enter (encoder Klick) !", \
      "On your Rumbler10 please press\nCursor Up + Play -> left Cursor Down to \"Sys Load\" -> Enter (encoder Klick) !", false, false) \
    D(SKinet30Presets, 0x5A, anyKind(), "S.Kinet30 - Presets", "", "", false, false) \
    D(VortexCascadePresets, 0x64, withoutOsBit(), "Vortex Cascade - Presets", \
      "On your Vortex Cascade please press\nMid -> Sys -> Dmp !", \
      "On your Vortex Cascade please press\nMid -> Sys -> Lod !", true, false) \
    D(VortexCascadeOS, 0x64, withOsBit(), "Vortex Cascade - OS", \
      "On your Vortex Cascade please press\nMid -> Sys -> Sys !", \
      "On your Vortex Cascade please press\nMid -> Sys -> OSU !", true, false) \
    D(STRATA500Presets, 0x38, withoutOsBit(), "STRATA 500 - Presets", \
      "On your STRATA 500 please press\nMIDI -> Cursor right to \"BDumpGo\" -> Enter!", \
      "On your STRATA 500 please press\nMIDI -> Cursor right to \"BLoadGo\" -> Enter!", true, false) \
    D(STRATA500OS, 0x38, withOsBit(), "STRATA 500 - OS", korvo_texts::kNotSupported, \
      "Turn your STRATA 500 off.\nTurn it on again and after 1 second press button 1, wait for the screen\n\"Os SysEx Dump required\nwaiting for dump...\" !", true, false) \
    D(STRATA600Presets, 0x59, withoutOsBit(), "STRATA 600 - Presets", \
      "On your STRATA 600 please press\nMIDI -> Cursor right to \"BDumpGo\" -> Enter!", \
      "On your STRATA 600 please press\nMIDI -> Cursor right to \"BLoadGo\" -> Enter!", true, false) \
    D(STRATA600OS, 0x59, withOsBit(), "STRATA 600 - OS", korvo_texts::kNotSupported, \
      "Turn your STRATA 600 off.\nTurn it on again and after 1 second press button 1, wait for the screen\n\"Os SysEx Dump required\nwaiting for dump...\" !", true, false) \
    D(HelionPresets, 0x66, withoutOsBit(), "Helion | Helion Mk 2 - Presets", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> BDump !", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> BLoad !", true, false) \
    D(HelionOS, 0x66, withOsBit(), "Helion - OS", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> SysEn !", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> OSUpt\nand wait until display reads \"Ready now for reception\" !", true, false) \
    D(RevKinet30Presets, 0x5C, kindIs(0x01), "Rev.Kinet 30 - Presets", "", korvo_texts::kSendPresetsFromMidiChMenu, false, true) \
    D(RevKinet30OS, 0x5C, kindIs(0x10), "Rev.Kinet 30 - OS", korvo_texts::kNotSupported, korvo_texts::kSendOsWithMenuOff, false, true) \
    D(Gravel40Presets, 0x5B, kindIs(0x01), "Gravel 40 - Presets", "", korvo_texts::kSendPresetsFromMidiChMenu, false, true) \
    D(Gravel40OS, 0x5B, kindIs(0x10), "Gravel 40 - OS", korvo_texts::kNotSupported, korvo_texts::kSendOsWithMenuOff, false, true) \
    D(Gravel40FlashUpdate, 0x5B, kindIs(0x20), "Gravel 40 - Flash Update", "", "", false, true) \
    D(Gravel40MkIIPresets, 0x5E, kindIs(0x01), "Gravel40 Mk II - Presets", "", korvo_texts::kSendPresetsFromMidiChMenu, false, false) \
    D(Gravel40MkIIOS, 0x5E, kindIs(0x10), "Gravel40 Mk II - OS", korvo_texts::kNotSupported, korvo_texts::kSendOsWithMenuOff, false, false) \
    D(Gravel40MkIIFlashUpdate, 0x5E, kindIs(0x20), "Gravel40 Mk II - Flash Update", "", "", false, false) \
    D(starfellPresets, 0x77, kindIs(0x01), "starfell - Presets", "", korvo_texts::kStarfellReceiveOn, false, true) \
    D(starfellOS, 0x77, kindIs(0x10), "starfell - OS", korvo_texts::kNotSupported, \
      "Turn the Starfell off and on \nand when the unit is ready\njust send off the OS dump!", false, true) \
    D(starfellSequence, 0x77, kindIs(0x03), "starfell - Sequence", "", korvo_texts::kStarfellReceiveOn, false, true) \
    D(starfellFXAlgorithm, 0x77, kindIs(0x55), "starfell - FX Algorithm", "", korvo_texts::kStarfellReceiveOn, false, true) \
    D(starfellFlashUpdate, 0x77, kindIs(0x20), "starfell - Flash Update", "", "", false, true) \
    D(OMNIGRIDPresets, 0x5D, kindIs(0x01), "OMNIGRID - Presets", "", "", false, false) \
    D(OMNIGRIDOS, 0x5D, kindIs(0x10), "OMNIGRID - OS", "", "", false, false) \
    D(OMNIGRIDSinglePattern, 0x5D, kindIs(0x02), "OMNIGRID - Single Pattern", "", "", false, false) \
    D(OMNIGRIDSingleSample, 0x5D, kindIs(0x03), "OMNIGRID - Single Sample", "", "", false, false)
// clang-format on

// What byte 4 of the first message must hold for a row to match.
struct KindMatch {
    enum class How : uint8_t { any, equals, osBitSet, osBitClear } how = How::any;
    uint8_t value = 0;

    // A message without byte 4 matches only `any`.
    constexpr bool matches(std::optional<uint8_t> kind) const {
        switch (how) {
        case How::any:
            return true;
        case How::equals:
            return kind == value;
        case How::osBitSet:
            return kind && (*kind & 0x10) != 0;
        case How::osBitClear:
            return kind && (*kind & 0x10) == 0;
        }
        return false;
    }
};
constexpr KindMatch anyKind() {
    return {};
}
constexpr KindMatch kindIs(uint8_t kind) {
    return {KindMatch::How::equals, kind};
}
// An operating system sets bit 0x10 of the kind byte; presets leave it clear.
constexpr KindMatch withOsBit() {
    return {KindMatch::How::osBitSet, 0};
}
constexpr KindMatch withoutOsBit() {
    return {KindMatch::How::osBitClear, 0};
}

struct DeviceRow {
    uint8_t model;
    KindMatch kind;
    std::string_view title;
    std::string_view receiveInstruction;
    std::string_view transmitInstruction;
    bool hasChannel;
    bool paced; // every message needs dumprules::kPacedOffset before it
};

enum class DeviceRowIndex : std::size_t {
#define KORVO_DEVICE_ROW_INDEX(Name, ...) Name,
    KORVO_DEVICE_DUMPTYPES(KORVO_DEVICE_ROW_INDEX)
#undef KORVO_DEVICE_ROW_INDEX
};

// The catalogue of instrument dumps, in the order identifyDump tries it.
inline constexpr DeviceRow kDeviceRows[] = {
#define KORVO_DEVICE_ROW(Name, Model, Kind, Title, Receive, Transmit, Channel, Paced)              \
    DeviceRow{Model, Kind, Title, Receive, Transmit, Channel, Paced},
    KORVO_DEVICE_DUMPTYPES(KORVO_DEVICE_ROW)
#undef KORVO_DEVICE_ROW
};

#define KORVO_DEFINE_IDENTIFICATION_DUMPTYPE(Name, Title, Receive, Transmit, Channel)              \
    class Name final : public KorvoDumptype {                                                      \
    public:                                                                                        \
        using KorvoDumptype::KorvoDumptype;                                                        \
        std::string_view title() const override { return Title; }                                  \
        std::string_view receiveInstruction() const override { return Receive; }                   \
        std::string_view transmitInstruction() const override { return Transmit; }                 \
        bool hasChannel() const override { return Channel; }                                       \
    };
KORVO_IDENTIFICATION_DUMPTYPES(KORVO_DEFINE_IDENTIFICATION_DUMPTYPE)
#undef KORVO_DEFINE_IDENTIFICATION_DUMPTYPE

// Each instrument dump type is a class of its own name that answers from its row.
#define KORVO_DEFINE_DEVICE_DUMPTYPE(Name, ...)                                                    \
    class Name final : public KorvoDumptype {                                                      \
    public:                                                                                        \
        static constexpr const DeviceRow& kRow =                                                   \
            kDeviceRows[static_cast<std::size_t>(DeviceRowIndex::Name)];                           \
        using KorvoDumptype::KorvoDumptype;                                                        \
        std::string_view title() const override { return kRow.title; }                             \
        std::string_view receiveInstruction() const override { return kRow.receiveInstruction; }   \
        std::string_view transmitInstruction() const override { return kRow.transmitInstruction; } \
        bool hasChannel() const override { return kRow.hasChannel; }                               \
    };
KORVO_DEVICE_DUMPTYPES(KORVO_DEFINE_DEVICE_DUMPTYPE)
#undef KORVO_DEFINE_DEVICE_DUMPTYPE
