#include "SyxFile.h"
#include "core/MidiConstants.h"

#include "AtomicFile.h"
#include "FileBytes.h"

#include <cstdio>
#include <fstream>

namespace syxfile {

namespace {

using midi::hex;
using midi::kEndOfSysEx;
using midi::kSysEx;

// Where the message that begins at `start` ends (one past its 0xF7), or the reason why it
// is no complete message.
bool messageEnd(std::span<const uint8_t> bytes, std::size_t start, std::size_t& end,
                std::string& error) {
    if (bytes[start] != kSysEx) {
        error = "byte " + hex(bytes[start]) + " at offset " + std::to_string(start) +
                " is outside a SysEx message";
        return false;
    }
    std::size_t at = start + 1;
    while (at < bytes.size() && bytes[at] < 0x80) {
        ++at;
    }
    if (at == bytes.size()) {
        error = "the message at offset " + std::to_string(start) +
                " has no end (0xF7) before the end of the file at offset " +
                std::to_string(bytes.size());
        return false;
    }
    if (bytes[at] != kEndOfSysEx) {
        error = "byte " + hex(bytes[at]) + " at offset " + std::to_string(at) +
                " interrupts the message that begins at offset " + std::to_string(start);
        return false;
    }
    end = at + 1;
    return true;
}

} // namespace

Result<Dump> parse(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return failure("the file is empty (offset 0)");
    }
    // Checked and counted first, so that a refused file never costs the memory of a dump.
    std::string why;
    std::size_t count = 0;
    for (std::size_t start = 0, end = 0; start < bytes.size(); start = end) {
        if (!messageEnd(bytes, start, end, why)) {
            return failure(why);
        }
        if (++count > kMaxDumpMessages) {
            return failure("the file holds more than " + std::to_string(kMaxDumpMessages) +
                           " messages, more than any dump (offset " + std::to_string(start) + ")");
        }
    }
    Dump dump;
    dump.reserve(count);
    for (std::size_t start = 0, end = 0; start < bytes.size(); start = end) {
        (void)messageEnd(bytes, start, end, why); // checked above
        dump.emplace_back(buffer(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(end)));
    }
    return dump;
}

Result<Dump> readSyxFile(const std::string& path) {
    const Result<buffer> file = filebytes::readWholeFile(path);
    if (!file) {
        return failure(file.error());
    }
    return parse(file.value());
}

Result<void> writeSyxFile(const std::string& path, const Dump& dump, Replace replace) {
    for (std::size_t i = 0; i < dump.size(); ++i) {
        std::size_t end = 0;
        std::string why;
        const midi::event& message = dump[i];
        if (message.empty() || !messageEnd(message, 0, end, why) || end != message.size()) {
            return failure("message " + std::to_string(i + 1) + " (" +
                           (message.empty() ? std::string("empty") : "status " + hex(message[0])) +
                           ") is not a complete SysEx message, and a .syx file holds nothing else");
        }
    }
    return writeFileAtomically(
        path,
        [&](const std::string& temporary) {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            for (const midi::event& message : dump) {
                out.write(reinterpret_cast<const char*>(message.data()),
                          static_cast<std::streamsize>(message.size()));
            }
            out.close();
            return !out.fail();
        },
        replace);
}

} // namespace syxfile
