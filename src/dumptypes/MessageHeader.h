#pragma once

#include "KorvoDumptype.h"
#include "core/event.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the header of one message of a dump says, decoded for the message inspector of the
// window and for `info --message` alike.
struct MessageHeader {
    std::optional<uint8_t> maker; // byte 1 of a SysEx message
    std::string_view makerName;   // "KoRvO" for the maker's byte; "" for any other
    std::optional<uint8_t> model; // byte 3, read only in the maker's messages
    std::string_view modelName;   // the model the catalogue names for it; "" when none
    std::optional<uint8_t> kind;  // byte 4, read only in the maker's messages
    std::string dumpType;         // the title of the dump's type
    std::optional<int> channel;   // 1 to 16, for types that carry one
    std::string bank;             // the first message of a sound bank: "S05"
    std::size_t size = 0;
    double pause = 0.0; // seconds before the message
};

// Message `index` of `dump` (which must hold it) as `type`, the dump's own type, reads it.
MessageHeader decodeHeader(const Dump& dump, const KorvoDumptype& type, std::size_t index);

// The model the catalogue names for a model byte ("STRATA 500"); "" when it names none.
std::string_view catalogueModel(uint8_t model);

// The decoded header as labelled lines, in the order the inspector shows them:
// {"Maker", "0x31 KoRvO"}, {"Model", "0x38 STRATA 500"}, ... Fields the message does not
// have are left out.
struct HeaderLine {
    std::string label;
    std::string value;
};
std::vector<HeaderLine> headerLines(const MessageHeader& header);
