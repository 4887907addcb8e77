#pragma once

#include "core/event.h"

#include <cstdint>
#include <span>
#include <string>

// Raw SysEx files (".syx"): the messages one after the other, nothing else.
namespace syxfile {

// Larger files are refused rather than read into memory.
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

struct ReadResult {
    bool ok = false;
    Dump dump;
    std::string error; // why not, naming the byte offset where it went wrong
};

// Accepts exactly a sequence of complete SysEx messages (0xF0 ... 0xF7); anything else, an
// empty file included, is refused.
ReadResult parse(std::span<const uint8_t> bytes);
ReadResult readSyxFile(const std::string& path);
// Written whole or not at all (see writeFileAtomically).
bool writeSyxFile(const std::string& path, const Dump& dump, std::string* error);

} // namespace syxfile
