#include "SameBackup.h"

#include "DumpFiles.h"
#include "dumptypes/DumpRules.h"
#include "dumptypes/KorvoDumptype.h"

#include <xxhash.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace samebackup {

namespace {

// Bytes compared between two looks at a call-off: about a millisecond's work.
constexpr std::size_t kBetweenLooks = std::size_t{1} << 20;

struct StateFree {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

// The copy that is compared: the one Save stores (its pauses play no part).
Dump compared(const Dump& dump) {
    return dumprules::preparedForSave(dump, *identifyDump(&dump));
}

bool olderFirst(const library::Entry* a, const library::Entry* b) {
    return a->modified != b->modified ? a->modified < b->modified : a->path < b->path;
}

// The dump a library file holds, read again; nothing when it cannot be read whole now.
std::optional<Dump> reread(const std::filesystem::path& folder, const library::Entry& entry) {
    Result<dumpfile::Contents> loaded = loadDump((folder / entry.path).string());
    if (!loaded) {
        return std::nullopt;
    }
    return compared(loaded.value().dump);
}

// Message by message, byte for byte; nothing when `cancel` was set meanwhile.
std::optional<bool> sameMessages(const Dump& a, const Dump& b, const std::atomic<bool>* cancel) {
    if (a.size() != b.size()) {
        return false;
    }
    std::size_t since = 0; // bytes compared since `cancel` was looked at
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!std::equal(a[i].begin(), a[i].end(), b[i].begin(), b[i].end())) {
            return false;
        }
        since += a[i].size();
        if (since >= kBetweenLooks) {
            since = 0;
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                return std::nullopt;
            }
        }
    }
    return true;
}

} // namespace

uint64_t fingerprint(const Dump& dump) {
    if (dump.empty()) {
        return 0;
    }
    const std::unique_ptr<XXH3_state_t, StateFree> state(XXH3_createState());
    if (!state || XXH3_64bits_reset(state.get()) != XXH_OK) {
        return 1; // no memory for the state: every dump then looks alike and is compared whole
    }
    for (const midi::event& message : compared(dump)) {
        const uint64_t size = message.size();
        XXH3_64bits_update(state.get(), &size, sizeof size);
        XXH3_64bits_update(state.get(), message.data(), message.size());
    }
    const uint64_t hash = XXH3_64bits_digest(state.get());
    return hash == 0 ? 1 : hash;
}

bool same(const Dump& a, const Dump& b) {
    const Dump x = compared(a), y = compared(b);
    return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                      [](const midi::event& m, const midi::event& n) {
                          return std::equal(m.begin(), m.end(), n.begin(), n.end());
                      });
}

const bool* Confirmations::find(const Pair& pair) const {
    if (const auto it = m_next.find(pair); it != m_next.end()) {
        return &it->second;
    }
    const auto it = m_known.find(pair);
    return it == m_known.end() ? nullptr : &it->second;
}

void Confirmations::settle() {
    m_known = std::move(m_next);
    m_next.clear();
}

std::optional<std::map<std::string, std::string>>
olderCopies(const std::filesystem::path& folder, const std::vector<const library::Entry*>& entries,
            Confirmations* known, const std::atomic<bool>* cancel) {
    const auto cancelled = [cancel] {
        return cancel != nullptr && cancel->load(std::memory_order_relaxed);
    };
    const auto look = [](const library::Entry& e) {
        return Confirmations::Look{e.path, e.bytes, e.modified, e.fingerprint};
    };
    std::map<uint64_t, std::vector<const library::Entry*>> byPrint;
    for (const library::Entry* e : entries) {
        if (!e->error && e->fingerprint != 0) {
            byPrint[e->fingerprint].push_back(e);
        }
    }
    Confirmations once; // without `known`: this call's own
    Confirmations& confirmed = known != nullptr ? *known : once;
    std::map<std::string, std::string> older;
    for (auto& [print, group] : byPrint) {
        if (group.size() < 2) {
            continue;
        }
        std::sort(group.begin(), group.end(), olderFirst);
        // The distinct backups of this fingerprint so far, oldest first; their dumps read
        // only when a pair of them is not confirmed yet.
        std::vector<std::pair<const library::Entry*, std::optional<Dump>>> originals;
        for (const library::Entry* e : group) {
            if (cancelled()) {
                return std::nullopt;
            }
            std::optional<Dump> dump;
            bool read = false, readable = true;
            const library::Entry* match = nullptr;
            for (auto& [original, held] : originals) {
                Confirmations::Pair pair{look(*original), look(*e)};
                if (const bool* found = confirmed.find(pair)) {
                    const bool same = *found;
                    confirmed.add(std::move(pair), same); // still asked about
                    if (same) {
                        match = original;
                        break;
                    }
                    continue;
                }
                if (!read) {
                    dump = reread(folder, *e);
                    read = true;
                    if (!dump) {
                        readable = false; // being written, perhaps: not an original now
                        break;
                    }
                }
                if (!held) {
                    held = reread(folder, *original);
                    if (!held) {
                        continue; // unreadable now: it confirms nothing, and is asked again
                    }
                }
                const std::optional<bool> same = sameMessages(*held, *dump, cancel);
                if (!same) {
                    return std::nullopt;
                }
                confirmed.add(std::move(pair), *same);
                if (*same) {
                    match = original;
                    break;
                }
            }
            if (match != nullptr) {
                older.emplace(e->path, match->path);
            } else if (readable) {
                originals.emplace_back(e, std::move(dump));
            }
        }
    }
    confirmed.settle();
    return older;
}

const library::Entry* holder(const std::filesystem::path& folder, const Dump& dump,
                             const std::vector<const library::Entry*>& entries) {
    const uint64_t print = fingerprint(dump);
    std::vector<const library::Entry*> candidates;
    for (const library::Entry* e : entries) {
        if (!e->error && e->fingerprint == print) {
            candidates.push_back(e);
        }
    }
    std::sort(candidates.begin(), candidates.end(), olderFirst);
    for (const library::Entry* e : candidates) {
        if (const std::optional<Dump> held = reread(folder, *e); held && same(*held, dump)) {
            return e;
        }
    }
    return nullptr;
}

} // namespace samebackup
