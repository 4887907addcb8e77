#pragma once

#include "core/event.h"

#include <cstdint>
#include <span>
#include <string>

// Raw SysEx files (".syx"): the messages one after the other, nothing else.
namespace syxfile {

struct ReadResult {
    bool ok = false;
    Dump dump;
    std::string error; // why not, naming the byte offset where it went wrong
};

// Accepts exactly a sequence of complete SysEx messages (0xF0 ... 0xF7); anything else, an
// empty file or more than kMaxDumpMessages messages included, is refused.
[[nodiscard]] ReadResult parse(std::span<const uint8_t> bytes);
[[nodiscard]] ReadResult readSyxFile(const std::string& path);
// Written whole or not at all (see writeFileAtomically). A dump that holds anything but
// complete SysEx messages is refused, so that no .syx file is written that could not be read.
[[nodiscard]] bool writeSyxFile(const std::string& path, const Dump& dump, std::string* error);

} // namespace syxfile
