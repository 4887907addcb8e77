#pragma once

#include "Library.h"
#include "core/event.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Whether two dumps hold the same backup: identical message by message, byte for byte, once
// the channel bits that Save clears are cleared (so a .syx and a .mid of one dump match, and
// so does a dump received on another channel). Told apart by a fingerprint (xxHash's XXH3 of
// every message's length and bytes), confirmed byte by byte where two fingerprints match.
namespace samebackup {

// 0 only for an empty dump.
uint64_t fingerprint(const Dump& dump);
bool same(const Dump& a, const Dump& b);

// What earlier looks confirmed byte by byte, for each pair of files as they were (path, size,
// date, fingerprint): a file that did not change is not read again to confirm it.
class Confirmations {
public:
    struct Look {
        std::string path;
        uint64_t bytes = 0;
        int64_t modified = 0;
        uint64_t fingerprint = 0;
        auto operator<=>(const Look&) const = default;
    };
    using Pair = std::pair<Look, Look>; // older first

    const bool* find(const Pair& pair) const;
    void add(Pair pair, bool same) { m_next.insert_or_assign(std::move(pair), same); }
    // Keeps only what the last olderCopies asked about: the files that went are forgotten.
    void settle();

private:
    std::map<Pair, bool> m_known; // as the call before left it
    std::map<Pair, bool> m_next;  // asked during this call
};

// For every entry whose backup an older entry of `folder` already holds (the same backup,
// confirmed byte by byte): its path -> the path of the oldest such entry. Entries are taken
// as library::describe gives them (with their fingerprints); only those that share a
// fingerprint are read again, and of those only the pairs `known` does not hold. Nothing when
// `cancel` was set (looked at between files and within long comparisons).
std::optional<std::map<std::string, std::string>>
olderCopies(const std::filesystem::path& folder, const std::vector<const library::Entry*>& entries,
            Confirmations* known = nullptr, const std::atomic<bool>* cancel = nullptr);

// The oldest of `entries` that holds the same backup as `dump`, or nullptr.
const library::Entry* holder(const std::filesystem::path& folder, const Dump& dump,
                             const std::vector<const library::Entry*>& entries);

} // namespace samebackup
