#include "HexDump.h"

#include <algorithm>

namespace hexdump {

namespace {

constexpr char kDigits[] = "0123456789abcdef";
// "00000000  " + 16 × "xx " + one blank in the middle + " |" + 16 + "|"
constexpr std::size_t kLineLength = 10 + 3 * kBytesPerLine + 1 + 2 + kBytesPerLine + 1;

void appendByte(std::string& out, uint8_t byte) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

void appendLine(std::string& out, std::span<const uint8_t> bytes, std::size_t line) {
    const std::size_t begin = line * kBytesPerLine;
    const std::size_t end = std::min(bytes.size(), begin + kBytesPerLine);
    // Eight digits hold every offset below 4 GB; a larger one simply takes more.
    std::size_t digits = 8;
    while (digits < 16 && (begin >> (4 * digits)) != 0) {
        ++digits;
    }
    for (std::size_t d = digits; d-- > 0;) {
        out += kDigits[(begin >> (4 * d)) & 0x0F];
    }
    out += "  ";
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
        if (begin + i < end) {
            appendByte(out, bytes[begin + i]);
            out += ' ';
        } else {
            out += "   ";
        }
        if (i == kBytesPerLine / 2 - 1) {
            out += ' ';
        }
    }
    out += " |";
    for (std::size_t i = begin; i < end; ++i) {
        const uint8_t c = bytes[i];
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    }
    out += '|';
}

} // namespace

std::size_t lineCount(std::size_t bytes) {
    return (bytes + kBytesPerLine - 1) / kBytesPerLine;
}

std::string line(std::span<const uint8_t> bytes, std::size_t line) {
    std::string out;
    if (line < lineCount(bytes.size())) {
        out.reserve(kLineLength);
        appendLine(out, bytes, line);
    }
    return out;
}

std::string lines(std::span<const uint8_t> bytes) {
    std::string out;
    const std::size_t count = lineCount(bytes.size());
    out.reserve(count * (kLineLength + 1));
    for (std::size_t i = 0; i < count; ++i) {
        appendLine(out, bytes, i);
        out += '\n';
    }
    return out;
}

std::string spaced(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            out += ' ';
        }
        appendByte(out, bytes[i]);
    }
    return out;
}

} // namespace hexdump
