#pragma once

#include "core/Result.h"
#include "core/buffer.h"

#include <cstdint>
#include <string>

// Reads a whole file into memory in one pass, for the dump readers. Only a regular file is
// read: a directory, FIFO, socket or device is refused at once, never waited on.
namespace filebytes {

// No dump file comes near this; a larger one is refused rather than read.
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

// The file's bytes, or why not in words for the user.
Result<buffer> readWholeFile(const std::string& path);

// What a file that is not a regular one is, for a message: "a directory", "a FIFO", ...
const char* kindOfFile(unsigned int mode);

} // namespace filebytes
