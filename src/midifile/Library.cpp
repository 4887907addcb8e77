#include "Library.h"

#include "DumpFiles.h"
#include "SameBackup.h"
#include "dumptypes/KorvoDumptype.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace library {

namespace {

bool isDumpFile(std::string_view name) {
    if (name.size() < 5) { // ".mid" alone is a hidden file without an extension
        return false;
    }
    std::string extension(name.substr(name.size() - 4));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".mid" || extension == ".syx";
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

} // namespace

Result<Listing> listFiles(const fs::path& folder, std::vector<std::string>* folders,
                          const std::atomic<bool>* cancel) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return failure(folder.string() + " is not a folder that can be read");
    }
    Listing listing;
    // Folders still to read: relative path and depth. A folder at a time, so that trouble in
    // one never ends the walk of the others. Plain readdir and one lstat a file at most: a
    // look at 100,000 files is the pane's time to show a change.
    std::vector<std::pair<std::string, int>> pending{{"", 0}};
    while (!pending.empty()) {
        const auto [relative, depth] = std::move(pending.back());
        pending.pop_back();
        const fs::path here = relative.empty() ? folder : folder / relative;
        const std::unique_ptr<DIR, DirCloser> dir(opendir(here.c_str()));
        if (!dir) {
            const int why = errno;
            if (relative.empty()) {
                return failure(folder.string() + ": " + std::generic_category().message(why));
            }
            if (why != ENOENT && why != ENOTDIR) { // else it went during the walk
                listing[relative + "/"] = Stamp{0, 0, std::generic_category().message(why)};
            }
            continue;
        }
        // A folder that changes under readdir keeps what was read of it.
        while (const dirent* entry = readdir(dir.get())) {
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                return failure("cancelled");
            }
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const bool dumpName = isDumpFile(name);
            unsigned char type = entry->d_type;
            struct stat st {};
            if (dumpName || type == DT_UNKNOWN) {
                // Links are not followed: a link back up would list the same files without end.
                if (fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue; // gone meanwhile
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            const std::string path =
                relative.empty() ? std::string(name) : relative + "/" + std::string(name);
            if (type == DT_DIR) {
                if (depth < kMaxDepth && pending.size() + listing.size() < kMaxFiles) {
                    pending.emplace_back(path, depth + 1);
                    if (folders != nullptr) {
                        folders->push_back(path);
                    }
                }
                continue;
            }
            if (type != DT_REG || !dumpName) {
                continue;
            }
            if (listing.size() == kMaxFiles) {
                return failure(folder.string() + " holds more than " + std::to_string(kMaxFiles) +
                               " dump files");
            }
            const int64_t modified =
                int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + int64_t{st.st_mtim.tv_nsec};
            listing.emplace(path, Stamp{static_cast<uint64_t>(st.st_size), modified, std::nullopt});
        }
    }
    return listing;
}

Entry describe(const fs::path& folder, const std::string& relative, const Stamp& stamp) {
    Entry entry;
    entry.path = relative;
    if (stamp.unreadable) {
        entry.error = "this folder cannot be read: " + *stamp.unreadable;
        return entry;
    }
    entry.bytes = stamp.bytes;
    entry.modified = stamp.modified / 1'000'000'000;
    Result<dumpfile::Contents> loaded = loadDump((folder / relative).string());
    if (!loaded) {
        entry.error = loaded.error();
        return entry;
    }
    entry.messages = loaded.value().dump.size();
    entry.fingerprint = samebackup::fingerprint(loaded.value().dump);
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
    std::vector<const Entry*> all;
    for (const Entry& e : entries) {
        all.push_back(&e);
    }
    // Never called off without a flag to call it off.
    const std::map<std::string, std::string> older = *samebackup::olderCopies(folder, all);
    for (Entry& e : entries) {
        if (const auto it = older.find(e.path); it != older.end()) {
            e.sameAs = it->second;
        }
    }
    sortNewestFirst(entries);
    return entries;
}

} // namespace library
