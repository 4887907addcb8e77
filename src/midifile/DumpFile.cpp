#include "DumpFile.h"

#include "TQMidiFileReader.h"
#include "TQMidiFileWriter.h"

#include "AtomicFile.h"

#include <algorithm>

namespace dumpfile {

namespace {

constexpr uint8_t kTrackName = 0x03;
constexpr uint8_t kInstrumentName = 0x04;
constexpr uint8_t kSequencerSpecific = 0x7F;

std::string textOf(const buffer& data) {
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    return std::string(data.begin(), end);
}

buffer bytesOf(std::string_view text) {
    return buffer(text.begin(), text.end());
}

bool writeTrack(const std::string& path, const Dump& prepared, std::string_view trackname,
                std::string_view instrument, const buffer& meta7f) {
    TQMidiFileWriter writer(path.c_str(), kDivision);
    writer.beginTrack();
    if (!trackname.empty() && trackname != kTracknamePlaceholder) {
        writer.writeMetaEvent(kTrackName, bytesOf(trackname), false);
    }
    if (!instrument.empty() && instrument != kInstrumentPlaceholder) {
        writer.writeMetaEvent(kInstrumentName, bytesOf(instrument), false);
    }
    if (!meta7f.empty()) {
        writer.writeMetaEvent(kSequencerSpecific, meta7f, false);
    }
    for (std::size_t i = 0; i < prepared.size(); ++i) {
        writer.writeEvent(prepared[i], i == 0 ? kLeadInOffset : prepared[i].m_offset);
    }
    writer.endTrack();
    writer.close();
    return !writer.fail();
}

} // namespace

Result<Contents> readDumpFile(const std::string& path) {
    TQMidiFileReader reader(path.c_str());
    if (reader.m_tracks >= 2) {
        return failure("only MIDI files with a single track hold a dump", kTooManyTracks);
    }
    if (!reader.readTrackHeader()) {
        return failure(reader.error());
    }
    Contents contents;
    uint8_t type = 0;
    buffer data;
    while (reader.readMetaEvent(type, data)) {
        if (type == kTrackName) {
            contents.trackname = textOf(data);
        } else if (type == kInstrumentName) {
            contents.instrument = textOf(data);
        } else if (type == kSequencerSpecific && !data.empty() && data[0] == kManufacturer) {
            contents.meta7f = data;
        }
    }
    if (!reader.readEvents(contents.dump)) {
        return failure(reader.error());
    }
    return contents;
}

Result<void> writeDumpFile(const std::string& path, const Dump& prepared,
                           std::string_view trackname, std::string_view instrument,
                           const buffer& meta7f, Replace replace) {
    return writeFileAtomically(
        path,
        [&](const std::string& temporary) {
            return writeTrack(temporary, prepared, trackname, instrument, meta7f);
        },
        replace);
}

} // namespace dumpfile
