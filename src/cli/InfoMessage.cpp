#include "InfoMessage.h"

#include "Json.h"
#include "core/HexDump.h"
#include "dumptypes/MessageHeader.h"

#include <cstdio>
#include <optional>

namespace cli {

namespace {

template <class Number>
std::string orNull(const std::optional<Number>& value) {
    return value ? std::to_string(*value) : "null";
}

std::string orNull(std::string_view text) {
    return text.empty() ? "null" : jsonString(std::string(text));
}

} // namespace

void printMessage(std::ostream& out, const Dump& dump, const KorvoDumptype& type, std::size_t index,
                  bool json) {
    const MessageHeader header = decodeHeader(dump, type, index);
    const midi::event& message = dump[index];
    if (json) {
        out << "{\"index\": " << index << ", \"size\": " << header.size
            << ", \"offset\": " << plainNumber(header.pause)
            << ", \"header\": {\"maker\": " << orNull(header.maker)
            << ", \"maker_name\": " << orNull(header.makerName)
            << ", \"model\": " << orNull(header.model)
            << ", \"model_name\": " << orNull(header.modelName)
            << ", \"kind\": " << orNull(header.kind)
            << ", \"dump_type\": " << jsonString(header.dumpType)
            << ", \"channel\": " << orNull(header.channel) << ", \"bank\": " << orNull(header.bank)
            << "}, \"bytes\": \"" << hexdump::spaced(message) << "\"}\n";
        return;
    }
    char label[32];
    std::snprintf(label, sizeof label, "%-14s", "Message:");
    out << label << index << "\n";
    for (const HeaderLine& line : headerLines(header)) {
        std::snprintf(label, sizeof label, "%-14s", (line.label + ":").c_str());
        out << label << line.value << "\n";
    }
    out << "\n";
    // Line by line: the dump of a large message is never held whole.
    for (std::size_t i = 0; i < hexdump::lineCount(message.size()); ++i) {
        out << hexdump::line(message, i) << "\n";
    }
}

} // namespace cli
