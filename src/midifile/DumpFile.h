#pragma once

#include "AtomicFile.h"
#include "core/Result.h"
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

// The Failure code of a MIDI file of two tracks or more: a MIDI file, but not a dump of ours.
inline constexpr int kTooManyTracks = 1;

// The whole file or nothing (its dump may still be empty): a file that cannot be taken whole
// is refused with the reason, naming the byte offset, and yields no contents at all.
Result<Contents> readDumpFile(const std::string& path);

// Stores `prepared` (paced and with its channel bits as they are to be stored): the track
// name and instrument unless empty or their placeholder, the kept sequencer-specific data
// when there is any, the first message after kLeadInOffset, every further one after its own
// offset. The file is written beside the target and moved over it only when complete, so a
// failure never harms what stood there.
Result<void> writeDumpFile(const std::string& path, const Dump& prepared,
                           std::string_view trackname, std::string_view instrument,
                           const buffer& meta7f, Replace replace = Replace::existing);

} // namespace dumpfile
