#include "MessageHeader.h"

#include "DeviceDumptypes.h"
#include "core/MidiConstants.h"

#include <sstream>

namespace {

constexpr uint8_t kManufacturer = 0x31;

std::optional<uint8_t> byteAt(const midi::event& message, std::size_t index) {
    if (index < message.size()) {
        return message[index];
    }
    return std::nullopt;
}

std::string withName(uint8_t byte, std::string_view name) {
    std::string text = midi::hex(byte);
    if (!name.empty()) {
        text += ' ';
        text += name;
    }
    return text;
}

} // namespace

std::string_view catalogueModel(uint8_t model) {
    for (const DeviceRow& row : kDeviceRows) {
        if (row.model == model) {
            // Every title is "<model> - <kind>".
            return row.title.substr(0, row.title.find(" - "));
        }
    }
    return {};
}

MessageHeader decodeHeader(const Dump& dump, const KorvoDumptype& type, std::size_t index) {
    const midi::event& message = dump.at(index);
    MessageHeader header;
    header.size = message.size();
    header.pause = message.m_offset;
    header.dumpType = std::string(type.title());
    if (byteAt(message, 0) != midi::kSysEx) {
        return header;
    }
    header.maker = byteAt(message, 1);
    if (header.maker != kManufacturer) {
        return header; // another maker's bytes mean what that maker says
    }
    header.makerName = "KoRvO";
    header.model = byteAt(message, 3);
    if (header.model) {
        header.modelName = catalogueModel(*header.model);
    }
    header.kind = byteAt(message, 4);
    if (index == 0 && type.bankInFirstMessage()) {
        header.bank = type.bank();
    } else if (type.hasChannel() && header.kind) {
        header.channel = (*header.kind & 0x0F) + 1;
    }
    return header;
}

std::vector<HeaderLine> headerLines(const MessageHeader& header) {
    std::vector<HeaderLine> lines;
    if (header.maker) {
        lines.push_back({"Maker", withName(*header.maker, header.makerName)});
    } else {
        lines.push_back({"Maker", "none (not a SysEx message)"});
    }
    if (header.model) {
        lines.push_back({"Model", header.modelName.empty()
                                      ? midi::hex(*header.model) + ", not in the catalogue"
                                      : withName(*header.model, header.modelName)});
    }
    if (header.kind) {
        lines.push_back({"Kind", midi::hex(*header.kind)});
    }
    lines.push_back({"Dump type", header.dumpType});
    if (header.channel) {
        lines.push_back({"MIDI channel", std::to_string(*header.channel)});
    }
    if (!header.bank.empty()) {
        lines.push_back({"Bank", header.bank});
    }
    lines.push_back({"Size", std::to_string(header.size) + " bytes"});
    std::ostringstream pause;
    pause << header.pause << " s";
    lines.push_back({"Pause", pause.str()});
    return lines;
}
