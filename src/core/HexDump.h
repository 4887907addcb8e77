#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// A message's bytes as people read them: the offset, 16 bytes a line in hex, and the
// printable ASCII beside them, so that names inside presets can be read.
//   00000010  43 4c 41 56 20 31 00 7f  31 32 33 34 35 36 37 38  |CLAV 1..12345678|
namespace hexdump {

inline constexpr std::size_t kBytesPerLine = 16;

std::size_t lineCount(std::size_t bytes);
// Line `line` (from 0) of the dump of `bytes`; "" past the end.
std::string line(std::span<const uint8_t> bytes, std::size_t line);
// Every line, each ending in '\n'.
std::string lines(std::span<const uint8_t> bytes);
// "f0 31 0d": every byte, lower-case, separated by single blanks.
std::string spaced(std::span<const uint8_t> bytes);

} // namespace hexdump
