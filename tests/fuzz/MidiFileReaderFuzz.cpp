// libFuzzer target: the MIDI file reader on arbitrary bytes, driven the way Open drives it.
// It checks the reader's promise, not only that nothing crashes: a file yields complete
// messages only, and either all of them or none with a reason.
#include "midifile/TQMidiFileReader.h"

#include <cstdint>

namespace {

// Bytes a message with this status takes; 0 for a SysEx message.
std::size_t completeSize(uint8_t status) {
    if (status == 0xF0) {
        return 0;
    }
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) {
        return 3;
    }
    if (status < 0xE0 || status == 0xF1 || status == 0xF3) {
        return 2;
    }
    return 1;
}

bool isComplete(const midi::event& event) {
    if (event.empty() || event[0] < 0x80 || event[0] == 0xF7 || event[0] == 0xFF) {
        return false;
    }
    for (std::size_t i = 1; i + 1 < event.size(); ++i) {
        if (event[i] >= 0x80) {
            return false;
        }
    }
    if (event[0] == 0xF0) {
        return event.size() >= 2 && event.back() == 0xF7;
    }
    return event.size() == completeSize(event[0]) && (event.size() == 1 || event.back() < 0x80);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQMidiFileReader reader(buffer(data, data + size));
    if (reader.m_tracks >= 2 || !reader.readTrackHeader()) {
        if (reader.error().empty() && reader.m_tracks < 2) {
            __builtin_trap(); // a refusal always says why
        }
        return 0;
    }
    uint8_t type = 0;
    buffer meta;
    while (reader.readMetaEvent(type, meta)) {
        if (meta.size() > size) {
            __builtin_trap();
        }
    }
    Dump dump;
    const bool whole = reader.readEvents(dump);
    if (whole != reader.error().empty() || (!whole && !dump.empty())) {
        __builtin_trap(); // all messages, or none and a reason
    }
    std::size_t total = 0;
    for (const midi::event& event : dump) {
        if (!isComplete(event) || !(event.m_offset >= 0.0)) {
            __builtin_trap();
        }
        total += event.size();
    }
    // Every message byte stands in the file (a SysEx message's 0xF0 once per packet at most).
    if (total > size) {
        __builtin_trap();
    }
    return 0;
}
