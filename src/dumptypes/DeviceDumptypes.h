#pragma once

#include "KorvoDumptype.h"

// Every dump type whose answers are constants: the three of identification (empty, foreign,
// unrecognised) and one per instrument model and dump kind. All titles and instruction texts
// stand here, in one table; each row becomes a class of its own name.

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

// X(class, title, receiveInstruction, transmitInstruction, hasChannel)
// clang-format off
#define KORVO_CONSTANT_DUMPTYPES(X) \
    X(EmptyDump, "", "", "", false) \
    X(NoKorvoDump, "NO KoRvO Dump", \
      "Make sure that the device is ready for SysEx transfer!", \
      "Make sure that the device is ready for SysEx reception!", false) \
    X(UnknownKorvoDump, "UNKNOWN KoRvO Dump", \
      "Make sure that the KoRvO device is ready for SysEx transfer!", \
      "Make sure that the KoRvO device is ready for SysEx reception!", false) \
    X(Tonwerk40Presets, "Tonwerk40 - Presets", \
      "On your Tonwerk40 please press\nSHIFT -> Midi Mode -> UP to dMP -> Enter !", \
      "On your Tonwerk40 please press\nSHIFT -> Midi Mode -> UP to Ld -> Enter !", false) \
    X(Pulsar70Presets, "PuLsar70 - Presets", \
      "On your PuLsar70 please press\nMidi -> Cursor right to \"BDumpGo\" -> Enter !", \
      "On your PuLsar70 please press\nMidi -> Cursor right to \"BLoadGo\" -> Enter !", true) \
    X(CaDenza20Presets, "CaDenza20 - Presets", \
      "On your CaDenza20 please press\nMidi -> Cursor right to \"BDumpGo\" -> Enter !", \
      "On your CaDenza20 please press\nMidi -> Cursor right to \"BLoadGo\" -> Enter !", true) \
    X(Rumbler10Presets, "Rumbler10 | Rumbler 12 - Presets", \
      "On your Rumbler10 please press\nCursor Up + Play -> left Cursor Down to \"Sys Dmp\" -> Enter (encoder Klick) !", \
      "On your Rumbler10 please press\nCursor Up + Play -> left Cursor Down to \"Sys Load\" -> Enter (encoder Klick) !", false) \
    X(SKinet30Presets, "S.Kinet30 - Presets", "", "", false) \
    X(VortexCascadePresets, "Vortex Cascade - Presets", \
      "On your Vortex Cascade please press\nMid -> Sys -> Dmp !", \
      "On your Vortex Cascade please press\nMid -> Sys -> Lod !", true) \
    X(VortexCascadeOS, "Vortex Cascade - OS", \
      "On your Vortex Cascade please press\nMid -> Sys -> Sys !", \
      "On your Vortex Cascade please press\nMid -> Sys -> OSU !", true) \
    X(STRATA500Presets, "STRATA 500 - Presets", \
      "On your STRATA 500 please press\nMIDI -> Cursor right to \"BDumpGo\" -> Enter!", \
      "On your STRATA 500 please press\nMIDI -> Cursor right to \"BLoadGo\" -> Enter!", true) \
    X(STRATA500OS, "STRATA 500 - OS", korvo_texts::kNotSupported, \
      "Turn your STRATA 500 off.\nTurn it on again and after 1 second press button 1, wait for the screen\n\"Os SysEx Dump required\nwaiting for dump...\" !", true) \
    X(STRATA600Presets, "STRATA 600 - Presets", \
      "On your STRATA 600 please press\nMIDI -> Cursor right to \"BDumpGo\" -> Enter!", \
      "On your STRATA 600 please press\nMIDI -> Cursor right to \"BLoadGo\" -> Enter!", true) \
    X(STRATA600OS, "STRATA 600 - OS", korvo_texts::kNotSupported, \
      "Turn your STRATA 600 off.\nTurn it on again and after 1 second press button 1, wait for the screen\n\"Os SysEx Dump required\nwaiting for dump...\" !", true) \
    X(HelionPresets, "Helion | Helion Mk 2 - Presets", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> BDump !", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> BLoad !", true) \
    X(HelionOS, "Helion - OS", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> SysEn !", \
      "On your Helion please press\nMenu -> Midi -> SysEx -> OSUpt\nand wait until display reads \"Ready now for reception\" !", true) \
    X(RevKinet30Presets, "Rev.Kinet 30 - Presets", "", korvo_texts::kSendPresetsFromMidiChMenu, false) \
    X(RevKinet30OS, "Rev.Kinet 30 - OS", korvo_texts::kNotSupported, korvo_texts::kSendOsWithMenuOff, false) \
    X(Gravel40Presets, "Gravel 40 - Presets", "", korvo_texts::kSendPresetsFromMidiChMenu, false) \
    X(Gravel40OS, "Gravel 40 - OS", korvo_texts::kNotSupported, korvo_texts::kSendOsWithMenuOff, false) \
    X(Gravel40FlashUpdate, "Gravel 40 - Flash Update", "", "", false) \
    X(Gravel40MkIIPresets, "Gravel40 Mk II - Presets", "", korvo_texts::kSendPresetsFromMidiChMenu, false) \
    X(Gravel40MkIIOS, "Gravel40 Mk II - OS", korvo_texts::kNotSupported, korvo_texts::kSendOsWithMenuOff, false) \
    X(Gravel40MkIIFlashUpdate, "Gravel40 Mk II - Flash Update", "", "", false) \
    X(starfellPresets, "starfell - Presets", "", korvo_texts::kStarfellReceiveOn, false) \
    X(starfellOS, "starfell - OS", korvo_texts::kNotSupported, \
      "Turn the Starfell off and on \nand when the unit is ready\njust send off the OS dump!", false) \
    X(starfellSequence, "starfell - Sequence", "", korvo_texts::kStarfellReceiveOn, false) \
    X(starfellFXAlgorithm, "starfell - FX Algorithm", "", korvo_texts::kStarfellReceiveOn, false) \
    X(starfellFlashUpdate, "starfell - Flash Update", "", "", false) \
    X(OMNIGRIDPresets, "OMNIGRID - Presets", "", "", false) \
    X(OMNIGRIDOS, "OMNIGRID - OS", "", "", false) \
    X(OMNIGRIDSinglePattern, "OMNIGRID - Single Pattern", "", "", false) \
    X(OMNIGRIDSingleSample, "OMNIGRID - Single Sample", "", "", false)
// clang-format on

#define KORVO_DEFINE_CONSTANT_DUMPTYPE(Name, Title, Receive, Transmit, Channel)                    \
    class Name final : public KorvoDumptype {                                                      \
    public:                                                                                        \
        using KorvoDumptype::KorvoDumptype;                                                        \
        std::string_view title() const override { return Title; }                                  \
        std::string_view receiveInstruction() const override { return Receive; }                   \
        std::string_view transmitInstruction() const override { return Transmit; }                 \
        bool hasChannel() const override { return Channel; }                                       \
    };

KORVO_CONSTANT_DUMPTYPES(KORVO_DEFINE_CONSTANT_DUMPTYPE)

#undef KORVO_DEFINE_CONSTANT_DUMPTYPE
