// libFuzzer target: the .syx reader. A file is exactly its messages, each a complete SysEx
// message, or it is refused with a reason and nothing.
#include "midifile/SyxFile.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Result<Dump> read = syxfile::parse({data, size});
    if (!read) {
        if (read.error().empty()) {
            __builtin_trap();
        }
        return 0;
    }
    std::size_t at = 0;
    for (const midi::event& message : read.value()) {
        if (message.size() < 2 || message.front() != 0xF0 || message.back() != 0xF7 ||
            at + message.size() > size || std::memcmp(message.data(), data + at, message.size())) {
            __builtin_trap();
        }
        for (std::size_t i = 1; i + 1 < message.size(); ++i) {
            if (message[i] >= 0x80) {
                __builtin_trap();
            }
        }
        at += message.size();
    }
    if (at != size) {
        __builtin_trap(); // nothing of the file left out
    }
    return 0;
}
