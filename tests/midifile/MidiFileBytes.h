#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

// Hand-made Standard MIDI File bytes for the reader's and writer's tests.
namespace midibytes {

using Bytes = std::vector<uint8_t>;

inline Bytes header(uint16_t format, uint16_t tracks, uint16_t division, const char* id = "MThd") {
    Bytes b(id, id + 4);
    b.insert(b.end(), {0, 0, 0, 6, uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
                       uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)});
    return b;
}

// A track chunk whose declared length matches its events.
inline Bytes track(const Bytes& events) {
    const auto n = static_cast<uint32_t>(events.size());
    Bytes b{'M', 'T', 'r', 'k', uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    b.insert(b.end(), events.begin(), events.end());
    return b;
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The 44-byte file of a two-message dump with the track name "AB".
inline Bytes twoMessageFile() {
    return {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
            0x01, 0x00, 0x18, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x16,
            0x00, 0xFF, 0x03, 0x02, 0x41, 0x42, 0x60, 0xF0, 0x03, 0x7D, 0x01,
            0xF7, 0x01, 0xF0, 0x03, 0x7D, 0x02, 0xF7, 0x01, 0xFF, 0x2F, 0x00};
}

} // namespace midibytes
