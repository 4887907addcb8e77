#pragma once

#include "core/event.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A dump as a file: what Open takes from a Standard MIDI File and what Save puts into one,
// for the window and the command line alike.
namespace dumpfile {

inline constexpr uint16_t kDivision = 24;
// The pause before the first message of a stored dump.
inline constexpr double kLeadInOffset = 2.0;
// The texts a received dump shows in place of names; they are never stored.
inline constexpr std::string_view kTracknamePlaceholder = "trackname";
inline constexpr std::string_view kInstrumentPlaceholder = "instrument";
// The maker's manufacturer byte, first in the sequencer-specific data that is kept.
inline constexpr uint8_t kManufacturer = 0x31;

struct Contents {
    Dump dump;
    // Meta texts: the bytes up to the first zero byte; the last event of a type wins.
    std::optional<std::string> trackname;
    std::optional<std::string> instrument;
    // The data of a sequencer-specific event that begins with the maker's byte.
    std::optional<buffer> meta7f;
};

enum class ReadStatus {
    ok,            // the track was read whole (its dump may still be empty)
    notReadable,   // refused: no Standard MIDI File, or one that cannot be taken whole
    tooManyTracks, // two tracks or more: not a dump of ours
};

struct ReadResult {
    ReadStatus status = ReadStatus::notReadable;
    Contents contents;
    std::string error; // why not readable, naming the byte offset
};

// The whole file or nothing: a file that cannot be taken whole yields no contents at all.
[[nodiscard]] ReadResult readDumpFile(const std::string& path);

// Stores `prepared` (paced and with its channel bits as they are to be stored): the track
// name and instrument unless empty or their placeholder, the kept sequencer-specific data
// when there is any, the first message after kLeadInOffset, every further one after its own
// offset. The file is written beside the target and moved over it only when complete, so a
// failure never harms what stood there. False, with the reason in `error`, on failure.
bool writeDumpFile(const std::string& path, const Dump& prepared, std::string_view trackname,
                   std::string_view instrument, const buffer& meta7f, std::string* error);

} // namespace dumpfile
