// libFuzzer target: the MIDI file reader on arbitrary bytes, driven the way Open drives it.
// Run with -malloc_limit_mb to catch any allocation that the file's declared sizes inflate.
#include "midifile/TQMidiFileReader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// One in-memory file for the whole run; the reader opens it by path.
struct MemoryFile {
    MemoryFile() : fd(memfd_create("midi-fuzz", 0)), path("/proc/self/fd/" + std::to_string(fd)) {}
    ~MemoryFile() { close(fd); }
    int fd;
    std::string path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    if (ftruncate(file.fd, 0) != 0 ||
        pwrite(file.fd, data, size, 0) != static_cast<ssize_t>(size)) {
        return 0;
    }
    TQMidiFileReader reader(file.path.c_str());
    if (reader.m_tracks >= 2 || !reader.readTrackHeader()) {
        return 0;
    }
    uint8_t type = 0;
    buffer meta;
    while (reader.readMetaEvent(type, meta)) {
        if (meta.empty() || meta.size() > size) {
            __builtin_trap(); // a meta event is never empty and never larger than the file
        }
    }
    Dump dump;
    reader.readEvents(dump);
    std::size_t total = 0;
    for (const midi::event& event : dump) {
        if (event.empty() || event[0] < 0x80 || !(event.m_offset >= 0.0)) {
            __builtin_trap();
        }
        if (event[0] == 0xF0 && event.back() != 0xF7) {
            __builtin_trap(); // a SysEx message is whole or absent
        }
        total += event.size();
    }
    // Messages are read one after the other, each byte at most once.
    if (total > size) {
        __builtin_trap();
    }
    return 0;
}
