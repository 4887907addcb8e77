#pragma once

#include "KorvoDumptype.h"

#include <cstdint>
#include <string>

// Sound bank dumps: the title names the bank, whose number comes from byte 4 of the first
// message. Texts for the user are empty, and every further message carries the instrument's
// channel.

namespace soundbank {
// "S05": bits 1 to 5 of the kind byte, counted from 1, two digits at least.
std::string strataBankNumber(uint8_t kind);
// "6": bits 0 to 5 of the kind byte, counted from 1.
std::string helionBankNumber(uint8_t kind);
// Byte 4 of the first message, or 0 when that message is too short to hold it.
uint8_t kindByte(const Dump& dump);
} // namespace soundbank

#define KORVO_DEFINE_SOUNDBANK_DUMPTYPE(Name, Prefix, Number)                                      \
    class Name final : public KorvoDumptype {                                                      \
    public:                                                                                        \
        explicit Name(const Dump* dump)                                                            \
            : KorvoDumptype(dump), m_title(Prefix + Number(soundbank::kindByte(*dump))) {}         \
        std::string_view title() const override { return m_title; }                                \
        std::string_view receiveInstruction() const override { return ""; }                        \
        std::string_view transmitInstruction() const override { return ""; }                       \
        bool hasChannel() const override { return true; }                                          \
        bool bankInFirstMessage() const override { return true; }                                  \
        std::string bank() const override { return m_title.substr(m_title.rfind(' ') + 1); }       \
                                                                                                   \
    private:                                                                                       \
        const std::string m_title;                                                                 \
    };

KORVO_DEFINE_SOUNDBANK_DUMPTYPE(STRATA500Soundbank, std::string("STRATA 500 - Soundbank S"),
                                soundbank::strataBankNumber)
KORVO_DEFINE_SOUNDBANK_DUMPTYPE(STRATA600Soundbank, std::string("STRATA 600 - Soundbank S"),
                                soundbank::strataBankNumber)
KORVO_DEFINE_SOUNDBANK_DUMPTYPE(HelionSoundbank, std::string("Helion - Soundbank Bank "),
                                soundbank::helionBankNumber)

#undef KORVO_DEFINE_SOUNDBANK_DUMPTYPE
