#include "SyxFile.h"

#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace syxfile {

namespace {

constexpr uint8_t kSysEx = 0xF0;
constexpr uint8_t kEndOfSysEx = 0xF7;

std::string hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

ReadResult refuse(std::string error) {
    ReadResult result;
    result.error = std::move(error);
    return result;
}

} // namespace

ReadResult parse(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return refuse("the file is empty (offset 0)");
    }
    ReadResult result;
    std::size_t start = 0;
    while (start < bytes.size()) {
        if (bytes[start] != kSysEx) {
            return refuse("byte " + hex(bytes[start]) + " at offset " + std::to_string(start) +
                          " is outside a SysEx message");
        }
        std::size_t at = start + 1;
        while (at < bytes.size() && bytes[at] < 0x80) {
            ++at;
        }
        if (at == bytes.size()) {
            return refuse("the message at offset " + std::to_string(start) +
                          " has no end (0xF7) before the end of the file at offset " +
                          std::to_string(bytes.size()));
        }
        if (bytes[at] != kEndOfSysEx) {
            return refuse("byte " + hex(bytes[at]) + " at offset " + std::to_string(at) +
                          " interrupts the message that begins at offset " + std::to_string(start));
        }
        result.dump.emplace_back(buffer(bytes.begin() + start, bytes.begin() + at + 1));
        start = at + 1;
    }
    result.ok = true;
    return result;
}

ReadResult readSyxFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return refuse(std::strerror(errno));
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        return refuse("the file cannot be read");
    }
    if (static_cast<uint64_t>(size) > kMaxFileBytes) {
        return refuse("the file is larger than 1 GiB");
    }
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (in.gcount() != size) {
        return refuse("the file could not be read whole");
    }
    return parse(bytes);
}

bool writeSyxFile(const std::string& path, const Dump& dump, std::string* error) {
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
        error);
}

} // namespace syxfile
