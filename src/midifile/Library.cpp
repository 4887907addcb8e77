#include "Library.h"

#include "DumpFiles.h"
#include "dumptypes/KorvoDumptype.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace fs = std::filesystem;

namespace library {

namespace {

bool isDumpFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".mid" || extension == ".syx";
}

int64_t nanoseconds(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch()).count();
}

} // namespace

Result<Listing> listFiles(const fs::path& folder, std::vector<std::string>* folders) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return failure(folder.string() + " is not a folder that can be read");
    }
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    if (error) {
        return failure(folder.string() + ": " + error.message());
    }
    Listing listing;
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            return failure(folder.string() + ": " + error.message());
        }
        if (it.depth() >= kMaxDepth) {
            it.disable_recursion_pending();
        }
        // Links are not followed: a link back up would list the same files without end.
        const fs::file_status status = it->symlink_status(error);
        if (!error && folders != nullptr && fs::is_directory(status) &&
            folders->size() < kMaxFiles) {
            folders->push_back(fs::relative(it->path(), folder).generic_string());
        }
        if (error || !fs::is_regular_file(status) || !isDumpFile(it->path())) {
            error.clear();
            continue;
        }
        if (listing.size() == kMaxFiles) {
            return failure(folder.string() + " holds more than " + std::to_string(kMaxFiles) +
                           " dump files");
        }
        const uint64_t bytes = it->file_size(error);
        const fs::file_time_type written = it->last_write_time(error);
        if (error) {
            error.clear(); // gone meanwhile: the next look finds it or not
            continue;
        }
        listing.emplace(fs::relative(it->path(), folder).generic_string(),
                        Stamp{bytes, nanoseconds(written)});
    }
    return listing;
}

Entry describe(const fs::path& folder, const std::string& relative, const Stamp& stamp) {
    Entry entry;
    entry.path = relative;
    entry.bytes = stamp.bytes;
    entry.modified = stamp.modified / 1'000'000'000;
    Result<dumpfile::Contents> loaded = loadDump((folder / relative).string());
    if (!loaded) {
        entry.error = loaded.error();
        return entry;
    }
    entry.messages = loaded.value().dump.size();
    entry.dumpType = std::string(identifyDump(&loaded.value().dump)->title());
    return entry;
}

void sortNewestFirst(std::vector<Entry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
    });
}

Result<std::vector<Entry>> read(const fs::path& folder) {
    Result<Listing> listing = listFiles(folder);
    if (!listing) {
        return failure(listing.error());
    }
    std::vector<Entry> entries;
    entries.reserve(listing.value().size());
    for (const auto& [path, stamp] : listing.value()) {
        entries.push_back(describe(folder, path, stamp));
    }
    sortNewestFirst(entries);
    return entries;
}

} // namespace library
