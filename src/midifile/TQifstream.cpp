#include "TQifstream.h"

#include <cstring>

TQifstream::TQifstream(const char* path) : std::ifstream(path, std::ios::in | std::ios::binary) {
    if (is_open()) {
        seekg(0, std::ios::end);
        m_size = static_cast<int64_t>(tellg());
        seekg(0, std::ios::beg);
        if (m_size < 0 || fail()) { // a pipe or a directory: not a file we can bound
            m_size = 0;
            setstate(std::ios::failbit);
        }
    }
}

uint8_t TQifstream::readByte() {
    const int c = get();
    return c == traits_type::eof() ? 0 : static_cast<uint8_t>(c);
}

uint16_t TQifstream::readUInt16(bool bigEndian) {
    uint8_t bytes[2] = {0, 0};
    readBytes(bytes, 2);
    if (bigEndian) {
        return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    }
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::size_t TQifstream::readBytes(uint8_t* data, std::size_t n) {
    if (data == nullptr || n == 0) {
        return 0;
    }
    read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(gcount());
}

uint64_t TQifstream::readVarLen() {
    uint8_t b = readByte();
    uint64_t value = b & 0x7F;
    while (b & 0x80) {
        b = readByte();
        value = (value << 7) | (b & 0x7F);
    }
    return value;
}

bool TQifstream::skip(uint64_t n) {
    if (fail()) {
        return false;
    }
    const int64_t here = tell();
    if (n > static_cast<uint64_t>(INT64_MAX - here)) {
        setstate(std::ios::failbit);
        return false;
    }
    seekg(here + static_cast<int64_t>(n));
    return !fail();
}

void TQifstream::seek(int64_t pos) {
    seekg(pos);
}

int64_t TQifstream::tell() {
    return static_cast<int64_t>(tellg());
}

uint64_t TQifstream::countThrough(uint8_t value) {
    const int64_t start = tell();
    if (start < 0) {
        return 0;
    }
    // Scans block by block; the result is the one a byte-by-byte scan gives.
    char block[16384];
    uint64_t count = 0;
    for (;;) {
        read(block, sizeof block);
        const std::size_t got = static_cast<std::size_t>(gcount());
        if (const void* hit = std::memchr(block, value, got)) {
            count += static_cast<const char*>(hit) - block + 1;
            clear(); // the block may have reached the end of the file
            seekg(start);
            return count;
        }
        count += got;
        if (got < sizeof block) {
            setstate(std::ios::failbit);
            return 0;
        }
    }
}

uint64_t TQifstream::bytesLeft() {
    const int64_t here = tell();
    return here < 0 || here >= m_size ? 0 : static_cast<uint64_t>(m_size - here);
}
