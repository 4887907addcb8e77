#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>

// A binary input file stream with readers for the MIDI file format's primitives. Never
// throws: trouble shows as the stream's failed state and in the results.
class TQifstream : public std::ifstream {
public:
    explicit TQifstream(const char* path);

    // The byte, or 0 when it could not be read.
    uint8_t readByte();
    // Bytes that could not be read count as 0.
    uint16_t readUInt16(bool bigEndian);
    // The number of bytes actually read; 0 and nothing read for null data or n 0.
    std::size_t readBytes(uint8_t* data, std::size_t n);
    // A variable-length quantity; an unreadable byte counts as 0 and ends it.
    uint64_t readVarLen();
    // Moves n bytes forward; false when the stream is failed afterwards.
    bool skip(uint64_t n);
    void seek(int64_t pos);
    // The read position, -1 in the failed state.
    int64_t tell();
    // Bytes from here up to and including the first `value`; the position is put back.
    // 0, with the stream failed, when the file ends first.
    uint64_t countThrough(uint8_t value);

    // Bytes between the read position and the end of the file (0 in the failed state): the
    // bound for any size that the file itself declares.
    uint64_t bytesLeft();

private:
    int64_t m_size = 0; // the file's size, taken at opening
};
