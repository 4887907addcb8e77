#pragma once

#include "TQofstream.h"
#include "core/buffer.h"

#include <cstdint>

// Writes a dump as a Standard MIDI File. Unfinished work is marked in the file itself: the
// header says "MIDI" and the track chunk "----" until endTrack patches them, so a file whose
// writing was interrupted is refused by the reader.
//
// A value that the file format cannot hold (a delta time, a SysEx length or a meta length
// above 0x0FFFFFFF, a track above 4 GiB) is refused: nothing of that event is written and the
// stream enters the failed state, so every later write does nothing, the provisional
// identifiers stay, and the caller sees fail() after endTrack.
class TQMidiFileWriter : public TQofstream {
public:
    TQMidiFileWriter(const char* path, uint16_t division);

    void writeHeader();
    void beginTrack();
    // False when the event was refused.
    bool writeMetaEvent(uint8_t type, const buffer& data, bool afterLastMessage);
    // `offset` is the pause in seconds before the message. False when it was refused; an
    // empty message writes nothing and counts as written.
    bool writeEvent(const buffer& message, double offset);
    void endTrack();

    uint16_t m_tracks = 0;
    uint16_t m_division = 0;
    uint64_t m_bytesPerTick = 0;
    uint64_t m_trackLength = 0;
    // Transmission time of the last message, in byte times rounded up to whole ticks.
    uint64_t m_lastTime = 0;
    uint64_t m_trackStart = 0;
    uint64_t m_trackEnd = 0;

private:
    bool refuse();
    uint64_t ticksOf(uint64_t byteTimes) const;
};
