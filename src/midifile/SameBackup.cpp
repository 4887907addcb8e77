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

std::map<std::string, std::string> olderCopies(const std::filesystem::path& folder,
                                               const std::vector<const library::Entry*>& entries) {
    std::map<uint64_t, std::vector<const library::Entry*>> byPrint;
    for (const library::Entry* e : entries) {
        if (!e->error && e->fingerprint != 0) {
            byPrint[e->fingerprint].push_back(e);
        }
    }
    std::map<std::string, std::string> older;
    for (auto& [print, group] : byPrint) {
        if (group.size() < 2) {
            continue;
        }
        std::sort(group.begin(), group.end(), olderFirst);
        // The distinct backups of this fingerprint so far, oldest first, with their dumps.
        std::vector<std::pair<const library::Entry*, Dump>> originals;
        for (const library::Entry* e : group) {
            std::optional<Dump> dump = reread(folder, *e);
            if (!dump) {
                continue;
            }
            const auto match = std::find_if(originals.begin(), originals.end(), [&](auto& o) {
                return std::equal(o.second.begin(), o.second.end(), dump->begin(), dump->end(),
                                  [](const midi::event& m, const midi::event& n) {
                                      return std::equal(m.begin(), m.end(), n.begin(), n.end());
                                  });
            });
            if (match != originals.end()) {
                older.emplace(e->path, match->first->path);
            } else {
                originals.emplace_back(e, std::move(*dump));
            }
        }
    }
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
