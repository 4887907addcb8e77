#pragma once

#include "Library.h"
#include "core/event.h"

#include <cstdint>
#include <filesystem>
#include <map>
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

// For every entry whose backup an older entry of `folder` already holds (the same backup,
// confirmed byte by byte): its path -> the path of the oldest such entry. Entries are taken
// as library::describe gives them (with their fingerprints); only those that share a
// fingerprint are read again.
std::map<std::string, std::string> olderCopies(const std::filesystem::path& folder,
                                               const std::vector<const library::Entry*>& entries);

// The oldest of `entries` that holds the same backup as `dump`, or nullptr.
const library::Entry* holder(const std::filesystem::path& folder, const Dump& dump,
                             const std::vector<const library::Entry*>& entries);

} // namespace samebackup
