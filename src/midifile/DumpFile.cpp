#include "DumpFile.h"

#include "TQMidiFileReader.h"
#include "TQMidiFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

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

bool fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

// The permissions a newly created file would get, or those of the file it replaces.
mode_t modeFor(const std::string& path) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
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

ReadResult readDumpFile(const std::string& path) {
    ReadResult result;
    TQMidiFileReader reader(path.c_str());
    if (reader.m_tracks >= 2) {
        result.status = ReadStatus::tooManyTracks;
        return result;
    }
    if (!reader.readTrackHeader()) {
        return result;
    }
    Contents& contents = result.contents;
    uint8_t type = 0;
    buffer data;
    while (reader.readMetaEvent(type, data)) {
        if (type == kTrackName) {
            contents.trackname = textOf(data);
        } else if (type == kInstrumentName) {
            contents.instrument = textOf(data);
        } else if (type == kSequencerSpecific && data[0] == kManufacturer) {
            contents.meta7f = data;
        }
    }
    reader.readEvents(contents.dump);
    result.status = ReadStatus::ok;
    return result;
}

bool writeDumpFile(const std::string& path, const Dump& prepared, std::string_view trackname,
                   std::string_view instrument, const buffer& meta7f, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Write through a link to the file it names, as an editor would.
    std::string target = path;
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec).string();
    }
    const fs::path folder = fs::path(target).parent_path();
    std::string temporary = ((folder.empty() ? fs::path(".") : folder) /
                             ("." + fs::path(target).filename().string() + ".bankshuttle-XXXXXX"))
                                .string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return fail(error, std::strerror(errno));
    }
    fchmod(fd, modeFor(target));
    close(fd);

    errno = 0;
    if (!writeTrack(temporary, prepared, trackname, instrument, meta7f)) {
        const int why = errno;
        unlink(temporary.c_str());
        return fail(error,
                    why != 0 ? std::strerror(why) : "the dump does not fit into a MIDI file");
    }
    // On the disk before it takes the old file's place.
    const int sync = ::open(temporary.c_str(), O_RDONLY);
    const bool synced = sync >= 0 && fsync(sync) == 0;
    if (sync >= 0) {
        close(sync);
    }
    if (!synced || rename(temporary.c_str(), target.c_str()) != 0) {
        const int why = errno;
        unlink(temporary.c_str());
        return fail(error, std::strerror(why));
    }
    return true;
}

} // namespace dumpfile
