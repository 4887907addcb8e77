#pragma once

#include "core/event.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Reads a Standard MIDI File that holds one dump: the header, the leading meta events of the
// track and the track's messages with their pauses. Used in this order: construct (reads the
// file once, then its header), check m_tracks, readTrackHeader, readMetaEvent while it gives
// true, readEvents.
//
// A file is taken whole or refused: whatever the reader cannot take (a damaged header, a
// track without its end, a SysEx event that is not one complete message, an event it cannot
// parse) makes every read give false and error() name the reason with its byte offset.
//
// Time base: one second is 2 × division ticks (no tempo event is interpreted), and a delta
// time covers the previous message's transmission plus the pause before this one.
class TQMidiFileReader {
public:
    explicit TQMidiFileReader(const char* path);
    // The same for bytes already in memory.
    explicit TQMidiFileReader(buffer bytes);

    bool readTrackHeader();
    // True for a meta event before the first message, of any type but end of track and any
    // length; otherwise the position stays before the event.
    bool readMetaEvent(uint8_t& type, buffer& data);
    // The next message: meta events and escapes (0xF7 events outside a SysEx message) are
    // skipped, running status is expanded, and a SysEx message split into packets comes back
    // joined. False at the end of the track, or when the file is refused (error() says why).
    bool readEvent(buffer& message, double& offset);
    // Skips leading meta events, empties the dump and appends every message of the track.
    // False, with the dump left empty, when the file is refused: nothing is loaded in part.
    bool readEvents(Dump& dump);

    // Why the file cannot be taken, naming the byte offset; empty while nothing is wrong.
    const std::string& error() const { return m_error; }

    uint16_t m_format = 0;
    uint16_t m_tracks = 0;
    uint16_t m_division = 0;
    // Byte times (1/3125 s) per tick; 0 marks the file unusable.
    uint64_t m_bytesPerTick = 0;
    // Size of the message read last in this track, status byte included.
    uint64_t m_lastLength = 0;

private:
    struct Position {
        std::size_t at = 0;
        uint64_t lastLength = 0;
        uint8_t runningStatus = 0;
    };

    void readHeader();
    bool refuse(std::string reason);
    bool usable() const { return m_bytesPerTick != 0 && m_error.empty(); }
    // A variable-length quantity of at most 4 bytes inside the track, or refusal.
    bool readVarLen(uint64_t& value);
    // `length` bytes from the read position inside the track, or refusal.
    bool take(uint64_t length, std::size_t& start, const char* what, std::size_t eventStart);
    // The next message into `message`, or only checked and measured when it is null.
    bool next(buffer* message, double& offset);
    // Appends a SysEx packet's bytes to `message` (when not null) and counts them in `size`;
    // `complete` once its 0xF7 has come.
    bool appendPacket(buffer* message, std::size_t& size, std::size_t from, std::size_t to,
                      std::size_t eventStart, std::size_t messageStart, bool& complete);
    bool readChannelMessage(uint8_t status, bool running, buffer* message, std::size_t eventStart);
    double offsetOf(uint64_t delta) const;
    // Refusal for an event that runs past the end of the track.
    bool cutShort(const std::string& what);

    buffer m_bytes;
    std::size_t m_pos = 0;
    std::size_t m_trackEnd = 0; // the file's size until a track is open
    bool m_inTrack = false;
    uint64_t m_declaredTrackEnd = 0; // where the track chunk says it ends
    uint8_t m_runningStatus = 0;
    std::string m_error;
};
