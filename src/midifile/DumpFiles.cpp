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

Result<dumpfile::Contents> loadDump(const std::string& path) {
    switch (fileKind(path)) {
    case FileKind::syx: {
        Result<Dump> read = syxfile::readSyxFile(path);
        if (!read) {
            return failure(read.error());
        }
        dumpfile::Contents contents;
        contents.dump = std::move(read.value());
        return contents;
    }
    case FileKind::mid:
        return dumpfile::readDumpFile(path);
    case FileKind::unknown:
        break;
    }
    return failure("the file name must end in .mid or .syx");
}

Result<void> storeDump(const std::string& path, const Dump& dump, std::string_view trackname,
                       std::string_view instrument, const buffer& meta7f, Replace replace) {
    if (fileKind(path) == FileKind::syx) {
        return syxfile::writeSyxFile(path, dump, replace);
    }
    return dumpfile::writeDumpFile(path, dumprules::preparedForSave(dump, *identifyDump(&dump)),
                                   trackname, instrument, meta7f, replace);
}

Result<void> storeDump(const std::string& path, const dumpfile::Contents& contents,
                       Replace replace) {
    return storeDump(path, contents.dump, contents.trackname.value_or(""),
                     contents.instrument.value_or(""), contents.meta7f.value_or(buffer{}), replace);
}
