#pragma once

#include "TQifstream.h"
#include "core/event.h"

#include <cstdint>

// Reads a Standard MIDI File that holds one dump: the header, the leading meta events of the
// track and the track's messages with their pauses. Used in this order: construct (reads the
// header), check m_tracks, readTrackHeader, readMetaEvent while it gives true, readEvents.
//
// Time base: one second is 2 × division ticks (no tempo event is interpreted), and a delta
// time covers the previous message's transmission plus the pause before this one.
class TQMidiFileReader : public TQifstream {
public:
    explicit TQMidiFileReader(const char* path);

    bool readTrackHeader();
    // True for a meta event with at least one data byte; otherwise the position is put back
    // before the event's delta time.
    bool readMetaEvent(uint8_t& type, buffer& data);
    // True when a whole message was read; otherwise the position is put back before the
    // event (or the file is exhausted).
    bool readEvent(buffer& message, double& offset);
    // Skips leading meta events, empties the dump and appends every message until the first
    // event that is not one. Always true.
    bool readEvents(Dump& dump);

    uint16_t m_format = 0;
    uint16_t m_tracks = 0;
    uint16_t m_division = 0;
    // Byte times (1/3125 s) per tick; 0 marks the file unusable.
    uint64_t m_bytesPerTick = 0;
    // Size of the message read last in this track, status byte included.
    uint64_t m_lastLength = 0;

private:
    bool readIdentifier(const char (&expected)[5]);
    // The size of the message that starts with `status`, or 0 when the data is unusable.
    uint64_t messageSize(uint8_t status);
};
