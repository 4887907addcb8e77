#pragma once

#include "core/Result.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The library: the folder where backups live, and what each .mid and .syx file in it and its
// subfolders holds, read by the rules Open uses. The window's pane and `list` show the same.
namespace library {

// A folder holds at most this many dump files, and is walked this deep; past that the
// listing fails rather than grow without end (a link loop, a whole disk chosen).
inline constexpr std::size_t kMaxFiles = 100'000;
inline constexpr int kMaxDepth = 16;

struct Entry {
    std::string path;     // relative to the library folder, "/" between folders
    std::string dumpType; // as Open identifies it; "" when the file cannot be read
    std::size_t messages = 0;
    uint64_t bytes = 0;               // the file's size
    int64_t modified = 0;             // seconds since 1970, UTC
    std::optional<std::string> error; // why the file cannot be opened
    uint64_t fingerprint = 0;         // of the backup it holds (samebackup); 0 when unreadable
    // The oldest other file of the library that holds the same backup (samebackup), if any.
    std::optional<std::string> sameAs;

    bool operator==(const Entry&) const = default;
};

// A file's place in the folder and what it looked like when read: a file that looks the same
// need not be read again.
struct Stamp {
    uint64_t bytes = 0;
    int64_t modified = 0; // nanoseconds, to tell two writes in one second apart
    // Set for a subfolder that could not be read: why (it is listed, not left out).
    std::optional<std::string> unreadable;
    bool operator==(const Stamp&) const = default;
};
using Listing = std::map<std::string, Stamp>; // by relative path

// Every .mid and .syx file below `folder` (names ending so in any case; links are not
// followed), or why the folder cannot be read. What changes during the walk costs only itself:
// an entry that vanished is left out, a subfolder that cannot be read is listed with its
// reason (Stamp::unreadable). Names are the file system's bytes, UTF-8 or not. `folders`
// receives the subfolders walked (relative), for a watcher; `cancel`, when set, ends the walk
// early with a failure.
Result<Listing> listFiles(const std::filesystem::path& folder,
                          std::vector<std::string>* folders = nullptr,
                          const std::atomic<bool>* cancel = nullptr);
// What one file holds; a file that cannot be taken whole is an entry with the reason.
Entry describe(const std::filesystem::path& folder, const std::string& relative,
               const Stamp& stamp);
// The listing described, newest first (then by path), each entry with the older file that
// holds the same backup (Entry::sameAs).
Result<std::vector<Entry>> read(const std::filesystem::path& folder);
void sortNewestFirst(std::vector<Entry>& entries);

} // namespace library
