#include "DumpRules.h"

namespace dumprules {

bool isOffsetNeeded(const Dump& dump) {
    if (dump.empty() || dump.front().size() < 4) {
        return false;
    }
    const uint8_t model = dump.front()[3];
    return model == 0x5B || model == 0x5C || model == 0x77;
}

void applyPacing(Dump& dump) {
    if (isOffsetNeeded(dump)) {
        for (midi::event& message : dump) {
            message.m_offset = kPacedOffset;
        }
    }
}

void writeChannel(Dump& dump, uint8_t channel) {
    for (midi::event& message : dump) {
        if (message.size() > 4) {
            message[4] = static_cast<uint8_t>((message[4] & 0xF0) | (channel & 0x0F));
        }
    }
}

Dump preparedForSave(const Dump& dump, bool hasChannel) {
    Dump copy = dump;
    applyPacing(copy);
    if (hasChannel) {
        writeChannel(copy, 0);
    }
    return copy;
}

Dump preparedForTransmit(const Dump& dump, bool hasChannel, uint8_t channel) {
    Dump copy = dump;
    applyPacing(copy);
    if (hasChannel) {
        writeChannel(copy, channel);
    }
    return copy;
}

double transmitEstimateMicroseconds(const Dump& dump) {
    double total = 0.0;
    for (const midi::event& message : dump) {
        total += message.m_offset * 1'000'000.0 +
                 kByteTimeMicroseconds * static_cast<double>(message.size());
    }
    return total;
}

} // namespace dumprules
