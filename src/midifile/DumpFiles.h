#pragma once

#include "DumpFile.h"

#include <string>

// Dump files as the window and the command line meet them: ".mid" (a Standard MIDI File by
// the Save rules) or ".syx" (the raw messages), told apart by their extension.
enum class FileKind { mid, syx, unknown };

FileKind fileKind(const std::string& path);

// The whole dump of the file, or nothing with the reason, naming the byte offset where the
// file went wrong (a MIDI file of two tracks or more: code dumpfile::kTooManyTracks).
Result<dumpfile::Contents> loadDump(const std::string& path);

// Stores `dump` as received or as read: for ".mid" by the Save rules (pacing, channel bits
// cleared, lead-in, names unless empty or placeholders), for ".syx" as it is. Whole or not at
// all: an existing file is replaced only by a complete one.
Result<void> storeDump(const std::string& path, const dumpfile::Contents& contents,
                       Replace replace = Replace::existing);
// The same for a dump and its names held elsewhere (the window's).
Result<void> storeDump(const std::string& path, const Dump& dump, std::string_view trackname,
                       std::string_view instrument, const buffer& meta7f,
                       Replace replace = Replace::existing);
