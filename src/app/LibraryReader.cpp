#include "LibraryReader.h"

#include "midifile/SameBackup.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Long enough to take a burst of changes (a backup written, renamed into place) as one look,
// short enough that a change shows well within a second.
constexpr auto kSettle = 150ms;
// How often a folder that cannot be watched whole is looked at.
constexpr auto kLookAgain = 3s;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

LibraryReader::LibraryReader(QObject* parent) : QObject(parent) {
    m_thread = std::thread([this] { run(); });
}

LibraryReader::~LibraryReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_cancel = true;
    }
    m_watch.wake();
    m_thread.join();
}

void LibraryReader::setFolder(const std::filesystem::path& folder) {
    {
        std::lock_guard lock(m_mutex);
        m_folder = folder;
        ++m_generation;
        m_lookPending = true;
        // The old folder's look is of no use now. Under the lock: the reader clears the flag
        // when it takes a request, and must not clear it after, nor see it for the new folder.
        m_cancel = true;
    }
    m_watch.wake();
}

void LibraryReader::rescan() {
    {
        std::lock_guard lock(m_mutex);
        m_lookPending = !m_folder.empty();
    }
    m_watch.wake();
}

void LibraryReader::arrange(int column, bool descending, const QString& filter,
                            bool hideDuplicates) {
    {
        std::lock_guard lock(m_mutex);
        m_order = Order{column, descending, filter.trimmed(), hideDuplicates};
        m_arrangePending = true;
    }
    m_watch.wake();
}

quint64 LibraryReader::findHolder(Dump dump) {
    quint64 id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = ++m_lastQuestion;
        m_holderQuestions.push_back(Question{id, std::move(dump)});
    }
    m_watch.wake();
    return id;
}

void LibraryReader::holdRequests(bool held) {
    {
        std::lock_guard lock(m_mutex);
        m_held = held;
    }
    m_watch.wake();
}

std::size_t LibraryReader::questionsWaiting() const {
    std::lock_guard lock(m_mutex);
    return m_holderQuestions.size();
}

QString LibraryReader::typeText(const library::Entry& entry) {
    return entry.error ? fromUtf8("cannot be read: " + *entry.error) : fromUtf8(entry.dumpType);
}

void LibraryReader::run() {
    std::optional<Clock::time_point> settled; // a look is due then
    for (;;) {
        std::optional<Clock::time_point> until = settled;
        if (m_limited && !until) {
            until = Clock::now() + kLookAgain;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_held) {
                until.reset(); // a look that is due waits for the release
            }
        }
        const FolderWatch::Woken woken = m_watch.wait(until);
        if (woken == FolderWatch::Woken::changed) {
            // Later changes ride on the look that the first one asked for.
            settled = settled.value_or(Clock::now() + kSettle);
            continue;
        }
        const bool due = woken == FolderWatch::Woken::timedOut;
        std::filesystem::path folder;
        uint64_t generation = 0;
        Order order;
        std::deque<Question> questions;
        bool lookNow = false, arrangeNow = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) {
                return;
            }
            if (m_held) {
                continue;
            }
            lookNow = m_lookPending || due;
            arrangeNow = m_arrangePending;
            m_lookPending = m_arrangePending = false;
            folder = m_folder;
            generation = m_generation;
            order = m_order;
            questions.swap(m_holderQuestions);
            m_cancel = false; // any call-off from now on is for this look
        }
        if (folder.empty()) {
            continue;
        }
        if (lookNow) {
            settled.reset();
            if (generation != m_cacheGeneration) {
                m_cache.clear();
                m_confirmed = {};
                m_sent.clear();
                m_sentOnce = false;
                m_cacheGeneration = generation;
            }
            if (!look(folder)) {
                // Called off: a newer request is waiting; the questions wait for its look.
                std::lock_guard lock(m_mutex);
                m_holderQuestions.insert(m_holderQuestions.begin(),
                                         std::make_move_iterator(questions.begin()),
                                         std::make_move_iterator(questions.end()));
                continue;
            }
        }
        if (lookNow || arrangeNow) {
            send(generation, order);
        }
        for (const Question& question : questions) {
            answerHolder(folder, question);
        }
    }
}

bool LibraryReader::look(const std::filesystem::path& folder) {
    std::vector<std::string> subfolders;
    const Result<library::Listing> listing = library::listFiles(folder, &subfolders, &m_cancel);
    if (m_cancel) {
        return false;
    }
    std::vector<std::filesystem::path> watched{folder};
    if (!listing) {
        // The last good rows and their watches stay; the folder line says why.
        std::error_code missing;
        if (!std::filesystem::exists(folder, missing)) {
            // Made by the first Save into it: its parent says when.
            m_note = QString::fromStdString(folder.string()) +
                     QStringLiteral(" (made when the first backup is saved there)");
            m_limited = !m_watch.watch({folder.parent_path()});
        } else {
            m_note = fromUtf8(listing.error());
        }
        return true;
    }
    std::map<std::string, std::pair<library::Stamp, Row>> seen;
    for (const auto& [path, stamp] : listing.value()) {
        if (m_cancel) {
            return false;
        }
        auto cached = m_cache.find(path);
        if (cached != m_cache.end() && cached->second.first == stamp) {
            seen.emplace(path, std::move(cached->second));
        } else {
            seen.emplace(path, std::pair{stamp, std::make_shared<const library::Entry>(
                                                    library::describe(folder, path, stamp))});
        }
    }
    m_cache = std::move(seen);
    if (!markCopies(folder)) {
        return false;
    }
    for (const std::string& sub : subfolders) {
        watched.push_back(folder / sub);
    }
    m_limited = !m_watch.watch(watched);
    m_note = m_limited ? QString::fromStdString(folder.string()) +
                             QStringLiteral(" (followed by a look every 3 s: the system's limit "
                                            "on watched folders is reached)")
                       : QString();
    return true;
}

std::vector<const library::Entry*> LibraryReader::cachedEntries() const {
    std::vector<const library::Entry*> all;
    all.reserve(m_cache.size());
    for (const auto& [path, cached] : m_cache) {
        all.push_back(cached.second.get());
    }
    return all;
}

bool LibraryReader::markCopies(const std::filesystem::path& folder) {
    const std::optional<std::map<std::string, std::string>> found =
        samebackup::olderCopies(folder, cachedEntries(), &m_confirmed, &m_cancel);
    if (!found) {
        return false;
    }
    const std::map<std::string, std::string>& older = *found;
    for (auto& [path, cached] : m_cache) {
        const auto it = older.find(path);
        const std::optional<std::string> sameAs =
            it == older.end() ? std::nullopt : std::optional(it->second);
        if (cached.second->sameAs != sameAs) {
            auto marked = std::make_shared<library::Entry>(*cached.second);
            marked->sameAs = sameAs;
            cached.second = std::move(marked);
        }
    }
    return true;
}

void LibraryReader::answerHolder(const std::filesystem::path& folder, const Question& question) {
    const library::Entry* holder = samebackup::holder(folder, question.dump, cachedEntries());
    const QString path = holder != nullptr ? fromUtf8(holder->path) : QString();
    const qint64 modified = holder != nullptr ? holder->modified : 0;
    QMetaObject::invokeMethod(
        this, [this, id = question.id, path, modified] { Q_EMIT held(id, path, modified); },
        Qt::QueuedConnection);
}

void LibraryReader::send(uint64_t generation, const Order& order) {
    Rows rows;
    rows.reserve(m_cache.size());
    for (const auto& [path, cached] : m_cache) {
        const library::Entry& e = *cached.second;
        if (order.hideDuplicates && e.sameAs) {
            continue;
        }
        if (order.filter.isEmpty() ||
            fromUtf8(e.path).contains(order.filter, Qt::CaseInsensitive) ||
            typeText(e).contains(order.filter, Qt::CaseInsensitive)) {
            rows.push_back(cached.second);
        }
    }
    const auto key = [&order](const library::Entry& e) -> std::pair<int64_t, const std::string*> {
        switch (order.column) {
        case kMessages:
            return {e.error ? -1 : static_cast<int64_t>(e.messages), nullptr};
        case kSize:
            return {static_cast<int64_t>(e.bytes), nullptr};
        case kModified:
            return {e.modified, nullptr};
        case kType:
            return {0, e.error ? &*e.error : &e.dumpType};
        case kSameAs:
            return {e.sameAs ? 1 : 0, e.sameAs ? &*e.sameAs : nullptr};
        default:
            return {0, &e.path};
        }
    };
    // Equal keys in path order, whichever way the column goes.
    std::sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        const auto ka = key(*a), kb = key(*b);
        int c = ka.first < kb.first ? -1 : ka.first > kb.first ? 1 : 0;
        if (c == 0 && ka.second != nullptr) {
            c = ka.second->compare(*kb.second);
            if (order.column == kType && a->error.has_value() != b->error.has_value()) {
                c = a->error ? 1 : -1; // unreadable files after the readable ones
            }
        }
        if (c == 0) {
            return a->path < b->path;
        }
        return order.descending ? c > 0 : c < 0;
    });
    if (m_sentOnce && rows == m_sent && m_note == m_sentNote) {
        return; // nothing the window does not have
    }
    const uint64_t previous = m_sentOnce ? m_listings : 0;
    Places places{++m_listings, previous, std::vector<int>(rows.size(), -1)};
    if (previous != 0) {
        std::unordered_map<std::string_view, int> at(m_sent.size());
        for (std::size_t row = 0; row < m_sent.size(); ++row) {
            at.emplace(m_sent[row]->path, static_cast<int>(row));
        }
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (const auto it = at.find(rows[row]->path); it != at.end()) {
                places.before[row] = it->second;
            }
        }
    }
    m_sent = rows;
    m_sentNote = m_note;
    m_sentOnce = true;
    // Queued to this object: dropped if it is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, generation, rows = std::move(rows), note = m_note, places = std::move(places)] {
            {
                std::lock_guard lock(m_mutex);
                if (generation != m_generation) {
                    return; // rows of the folder before
                }
            }
            Q_EMIT listed(rows, note, places);
        },
        Qt::QueuedConnection);
}
