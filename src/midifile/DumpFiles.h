#pragma once

#include "DumpFile.h"

#include <string>

// Dump files as the window and the command line meet them: ".mid" (a Standard MIDI File by
// the Save rules) or ".syx" (the raw messages), told apart by their extension.
enum class FileKind { mid, syx, unknown };

FileKind fileKind(const std::string& path);

struct LoadedDump {
    bool ok = false;
    // Two tracks or more: a MIDI file, but not one that holds a dump.
    bool tooManyTracks = false;
    dumpfile::Contents contents;
    std::string error; // why not, naming the byte offset where the file went wrong
};

// The whole dump of the file, or nothing with the reason.
[[nodiscard]] LoadedDump loadDump(const std::string& path);

// Stores `dump` as received or as read: for ".mid" by the Save rules (pacing, channel bits
// cleared, lead-in, names unless empty or placeholders), for ".syx" as it is. Whole or not at
// all: an existing file is replaced only by a complete one.
[[nodiscard]] bool storeDump(const std::string& path, const dumpfile::Contents& contents,
                             std::string* error);
// The same for a dump and its names held elsewhere (the window's).
[[nodiscard]] bool storeDump(const std::string& path, const Dump& dump, std::string_view trackname,
                             std::string_view instrument, const buffer& meta7f, std::string* error);
