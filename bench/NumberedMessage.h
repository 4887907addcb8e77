#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Message i of a numbered dump: F0 7D i/128 i%128, bytes that depend on i, F7 (at least 5
// bytes). A receiver's copy shows which message was lost, or came twice.
inline std::vector<uint8_t> numberedMessage(int i, std::size_t size) {
    std::vector<uint8_t> m(size);
    m[0] = 0xF0;
    m[1] = 0x7D;
    m[2] = static_cast<uint8_t>((i >> 7) & 0x7F);
    m[3] = static_cast<uint8_t>(i & 0x7F);
    for (std::size_t b = 4; b + 1 < m.size(); ++b) {
        m[b] = static_cast<uint8_t>((b * 7 + static_cast<std::size_t>(i) * 13) & 0x7F);
    }
    m.back() = 0xF7;
    return m;
}
