#include "DumpRules.h"
#include "DeviceDumptypes.h"

#include "core/MidiConstants.h"
#include <algorithm>

#include <cstdio>

namespace dumprules {

bool isOffsetNeeded(const Dump& dump) {
    if (dump.empty() || dump.front().size() < 4) {
        return false;
    }
    const uint8_t model = dump.front()[3];
    return std::ranges::any_of(
        kDeviceRows, [model](const DeviceRow& row) { return row.model == model && row.paced; });
}

void applyPacing(Dump& dump) {
    if (isOffsetNeeded(dump)) {
        for (midi::event& message : dump) {
            message.m_offset = kPacedOffset;
        }
    }
}

void writeChannel(Dump& dump, uint8_t channel, bool bankInFirstMessage) {
    for (std::size_t i = bankInFirstMessage ? 1 : 0; i < dump.size(); ++i) {
        midi::event& message = dump[i];
        if (message.size() > 4) {
            message[4] = static_cast<uint8_t>((message[4] & 0xF0) | (channel & 0x0F));
        }
    }
}

Dump preparedForSave(const Dump& dump, bool hasChannel, bool bankInFirstMessage) {
    Dump copy = dump;
    applyPacing(copy);
    if (hasChannel) {
        writeChannel(copy, 0, bankInFirstMessage);
    }
    return copy;
}

Dump preparedForSave(const Dump& dump, const KorvoDumptype& type) {
    return preparedForSave(dump, type.hasChannel(), type.bankInFirstMessage());
}

void applyMinimumPause(Dump& dump, double seconds) {
    for (std::size_t i = 1; i < dump.size(); ++i) {
        // A pause that is negative or no number stays so, for transmitRefusal to refuse.
        if (dump[i].m_offset >= 0.0 && dump[i].m_offset < seconds) {
            dump[i].m_offset = seconds;
        }
    }
}

Dump preparedForTransmit(const Dump& dump, bool hasChannel, uint8_t channel,
                         bool bankInFirstMessage, double minimumPause) {
    Dump copy = dump;
    applyPacing(copy);
    if (hasChannel) {
        writeChannel(copy, channel, bankInFirstMessage);
    }
    applyMinimumPause(copy, minimumPause);
    return copy;
}

Dump preparedForTransmit(const Dump& dump, const KorvoDumptype& type, uint8_t channel,
                         double minimumPause) {
    return preparedForTransmit(dump, type.hasChannel(), channel, type.bankInFirstMessage(),
                               minimumPause);
}

Result<void> transmitRefusal(const Dump& prepared) {
    for (std::size_t i = 0; i < prepared.size(); ++i) {
        const double offset = prepared[i].m_offset;
        if (!(offset >= 0.0 && offset <= kMaxOffset)) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.0f", offset);
            return failure("the pause before message " + std::to_string(i + 1) + " is " + seconds +
                           " s, longer than any instrument needs (10 minutes at most): the file "
                           "is damaged; nothing was sent");
        }
    }
    return {};
}

double transmitEstimateMicroseconds(const Dump& dump, uint32_t bytesPerSecond) {
    const double perByte = midi::byteMicroseconds(bytesPerSecond);
    double total = 0.0;
    for (const midi::event& message : dump) {
        total += message.m_offset * 1'000'000.0 + perByte * static_cast<double>(message.size());
    }
    return total;
}

} // namespace dumprules
