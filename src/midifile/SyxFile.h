#pragma once

#include "AtomicFile.h"
#include "core/Result.h"
#include "core/event.h"

#include <cstdint>
#include <span>
#include <string>

// Raw SysEx files (".syx"): the messages one after the other, nothing else.
namespace syxfile {

// Accepts exactly a sequence of complete SysEx messages (0xF0 ... 0xF7); anything else, an
// empty file or more than kMaxDumpMessages messages included, is refused with the reason,
// naming the byte offset where it went wrong.
Result<Dump> parse(std::span<const uint8_t> bytes);
Result<Dump> readSyxFile(const std::string& path);
// Written whole or not at all (see writeFileAtomically). A dump that holds anything but
// complete SysEx messages is refused, so that no .syx file is written that could not be read.
Result<void> writeSyxFile(const std::string& path, const Dump& dump,
                          Replace replace = Replace::existing);

} // namespace syxfile
