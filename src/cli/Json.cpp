#include "Json.h"

#include <cstdio>
#include <sstream>

namespace cli {

std::string jsonString(const std::string& in) {
    std::string out = "\"";
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        std::size_t length = c < 0x80         ? 1
                             : (c >> 5) == 6  ? 2
                             : (c >> 4) == 14 ? 3
                             : (c >> 3) == 30 ? 4
                                              : 0;
        bool valid = length != 0 && i + length <= in.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80;
        }
        if (!valid) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(in, i, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
        i += length;
    }
    return out + "\"";
}

std::string plainNumber(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace cli
