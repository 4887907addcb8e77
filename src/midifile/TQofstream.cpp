#include "TQofstream.h"

#include <cstring>

TQofstream::TQofstream(const char* path)
    : std::ofstream(path, std::ios::out | std::ios::binary | std::ios::trunc) {}

std::size_t TQofstream::writeByte(uint8_t value) {
    writeBytes(&value, 1);
    return 1;
}

std::size_t TQofstream::writeUInt16(uint16_t value, bool bigEndian) {
    uint8_t bytes[2];
    if (bigEndian) {
        bytes[0] = static_cast<uint8_t>(value >> 8);
        bytes[1] = static_cast<uint8_t>(value);
    } else {
        std::memcpy(bytes, &value, sizeof bytes);
    }
    writeBytes(bytes, sizeof bytes);
    return sizeof bytes;
}

std::size_t TQofstream::writeUInt32(uint32_t value, bool bigEndian) {
    uint8_t bytes[4];
    if (bigEndian) {
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        }
    } else {
        std::memcpy(bytes, &value, sizeof bytes);
    }
    writeBytes(bytes, sizeof bytes);
    return sizeof bytes;
}

std::size_t TQofstream::writeBytes(const uint8_t* data, std::size_t n) {
    if (data == nullptr || n == 0) {
        return 0;
    }
    write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
    return n;
}

std::size_t TQofstream::writeVarLen(uint64_t value) {
    if (value > kMaxVarLen) {
        return 0;
    }
    uint8_t groups[4];
    std::size_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    uint8_t bytes[4];
    for (std::size_t i = 0; i < n; ++i) { // most significant group first
        bytes[i] = groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0x00);
    }
    return writeBytes(bytes, n);
}

int64_t TQofstream::tell() {
    if (fail()) { // also true in the bad state
        return -1;
    }
    return static_cast<int64_t>(tellp());
}

void TQofstream::seek(int64_t pos) {
    seekp(pos);
}
