#include "DumpFiles.h"

#include "SyxFile.h"
#include "dumptypes/DumpRules.h"
#include "dumptypes/KorvoDumptype.h"

#include <algorithm>
#include <cctype>

FileKind fileKind(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.ends_with(".mid")) {
        return FileKind::mid;
    }
    if (lower.ends_with(".syx")) {
        return FileKind::syx;
    }
    return FileKind::unknown;
}

LoadedDump loadDump(const std::string& path) {
    LoadedDump loaded;
    switch (fileKind(path)) {
    case FileKind::syx: {
        syxfile::ReadResult read = syxfile::readSyxFile(path);
        if (!read.ok) {
            loaded.error = read.error;
            return loaded;
        }
        loaded.contents.dump = std::move(read.dump);
        break;
    }
    case FileKind::mid: {
        dumpfile::ReadResult read = dumpfile::readDumpFile(path);
        if (read.status == dumpfile::ReadStatus::tooManyTracks) {
            loaded.tooManyTracks = true;
            loaded.error = "only MIDI files with a single track hold a dump";
            return loaded;
        }
        if (read.status != dumpfile::ReadStatus::ok) {
            loaded.error = read.error;
            return loaded;
        }
        loaded.contents = std::move(read.contents);
        break;
    }
    case FileKind::unknown:
        loaded.error = "the file name must end in .mid or .syx";
        return loaded;
    }
    loaded.ok = true;
    return loaded;
}

bool storeDump(const std::string& path, const Dump& dump, std::string_view trackname,
               std::string_view instrument, const buffer& meta7f, std::string* error) {
    if (fileKind(path) == FileKind::syx) {
        return syxfile::writeSyxFile(path, dump, error);
    }
    return dumpfile::writeDumpFile(path, dumprules::preparedForSave(dump, *identifyDump(&dump)),
                                   trackname, instrument, meta7f, error);
}

bool storeDump(const std::string& path, const dumpfile::Contents& contents, std::string* error) {
    return storeDump(path, contents.dump, contents.trackname.value_or(""),
                     contents.instrument.value_or(""), contents.meta7f.value_or(buffer{}), error);
}
