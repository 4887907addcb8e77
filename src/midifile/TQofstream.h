#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>

// A binary output file stream with writers for the MIDI file format's primitives. Every
// writer returns the number of bytes it wrote (the fixed-width ones their width, whatever the
// file did) so that the caller can add up chunk lengths. Never throws.
class TQofstream : public std::ofstream {
public:
    static constexpr uint64_t kMaxVarLen = 0x0FFFFFFF;

    explicit TQofstream(const char* path);

    std::size_t writeByte(uint8_t value);
    std::size_t writeUInt16(uint16_t value, bool bigEndian);
    std::size_t writeUInt32(uint32_t value, bool bigEndian);
    // n; 0 and nothing written for null data or n 0.
    std::size_t writeBytes(const uint8_t* data, std::size_t n);
    // 1 to 4 bytes; 0 and nothing written for a value above kMaxVarLen.
    std::size_t writeVarLen(uint64_t value);
    // The write position, -1 in the failed or bad state.
    int64_t tell();
    void seek(int64_t pos);
};
