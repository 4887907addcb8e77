#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What MIDI, and this program's place in a MIDI system, fix once for every layer.
namespace midi {

inline constexpr uint8_t kSysEx = 0xF0;      // begins a system exclusive message
inline constexpr uint8_t kEndOfSysEx = 0xF7; // ends it
inline constexpr uint8_t kRealTime = 0xF8;   // 0xF8 to 0xFF may stand anywhere, also inside one

// One byte on a 31,250-baud MIDI cable takes 320 µs (ten bits).
inline constexpr int64_t kByteTimeMicroseconds = 320;

// A sending speed in bytes per second, for interfaces that drop bytes at the cable's rate:
// 0 is full speed (the cable's 3,125 bytes/s); slower ones lie from 10 to 3,125.
inline constexpr uint32_t kFullSpeed = 0;
inline constexpr uint32_t kSlowestSpeed = 10;
inline constexpr uint32_t kCableSpeed = 3125;

// How long one byte takes at a sending speed: never less than on the cable.
inline constexpr double byteMicroseconds(uint32_t bytesPerSecond) {
    const double atSpeed = bytesPerSecond == kFullSpeed ? 0.0 : 1e6 / bytesPerSecond;
    return atSpeed > kByteTimeMicroseconds ? atSpeed : double(kByteTimeMicroseconds);
}

// How long `bytes` take at a sending speed, cut to whole microseconds.
inline std::chrono::microseconds timeAtSpeed(std::size_t bytes, uint32_t bytesPerSecond) {
    return std::chrono::microseconds(
        static_cast<int64_t>(byteMicroseconds(bytesPerSecond) * static_cast<double>(bytes)));
}

// The bytes handed over together at a speed below full: a hundredth of a second's share, so
// that no 100 ms carries more than its share and one such part.
inline constexpr std::size_t speedPart(uint32_t bytesPerSecond) {
    return bytesPerSecond < 200 ? 1 : bytesPerSecond / 100;
}

// The name under which every copy of this program is a client of the MIDI system.
inline constexpr std::string_view kProgramName = "BankShuttle";

// 60000 -> "60,000", as the messages about sizes and counts show them.
inline std::string withThousands(std::size_t n) {
    std::string digits = std::to_string(n);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

// "0x5B", as the messages about bytes in files and dumps show them.
inline std::string hex(unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    if (text.size() < 2) {
        text.insert(text.begin(), '0');
    }
    return "0x" + text;
}

} // namespace midi
