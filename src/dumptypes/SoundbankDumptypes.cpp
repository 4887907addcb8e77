#include "SoundbankDumptypes.h"

#include <string>

namespace soundbank {

std::string strataBankNumber(uint8_t kind) {
    const unsigned n = ((kind >> 1) & 0x1F) + 1;
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

std::string helionBankNumber(uint8_t kind) {
    return std::to_string((kind & 0x3F) + 1);
}

uint8_t kindByte(const Dump& dump) {
    if (dump.empty() || dump.front().size() < 5) {
        return 0;
    }
    return dump.front()[4];
}

} // namespace soundbank
