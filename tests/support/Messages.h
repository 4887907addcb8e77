#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// SysEx messages for tests and benchmarks.

// The maker's message: F0 31 byte2 model kind, filled up to `size` bytes (6 at least),
// ending in F7.
inline std::vector<uint8_t> korvoMessage(uint8_t model, uint8_t kind, std::size_t size,
                                         uint8_t fill = 0x22, uint8_t byte2 = 0x00) {
    std::vector<uint8_t> m(std::max<std::size_t>(size, 6), fill);
    m[0] = 0xF0;
    m[1] = 0x31;
    m[2] = byte2;
    m[3] = model;
    m[4] = kind;
    m.back() = 0xF7;
    return m;
}

// A message of `size` bytes (2 at least) with random data bytes between its F0 and F7.
inline std::vector<uint8_t> randomSysex(std::size_t size, std::mt19937& random) {
    std::vector<uint8_t> m(std::max<std::size_t>(size, 2));
    for (uint8_t& b : m) {
        b = static_cast<uint8_t>(random() % 0x80);
    }
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}
