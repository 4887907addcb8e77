#include "LibraryReader.h"

LibraryReader::LibraryReader(QObject* parent) : QObject(parent) {
    m_thread = std::thread([this] { run(); });
}

LibraryReader::~LibraryReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void LibraryReader::setFolder(const std::filesystem::path& folder) {
    {
        std::lock_guard lock(m_mutex);
        m_folder = folder;
        ++m_generation;
        m_pending = true;
    }
    m_wake.notify_all();
}

void LibraryReader::rescan() {
    {
        std::lock_guard lock(m_mutex);
        m_pending = !m_folder.empty();
    }
    m_wake.notify_all();
}

void LibraryReader::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending; });
        if (m_stop) {
            return;
        }
        m_pending = false;
        const std::filesystem::path folder = m_folder;
        const uint64_t generation = m_generation;
        lock.unlock();
        look(folder, generation);
        lock.lock();
    }
}

void LibraryReader::look(const std::filesystem::path& folder, uint64_t generation) {
    if (generation != m_cacheGeneration) {
        m_cache.clear();
        m_cacheGeneration = generation;
    }
    std::vector<std::string> subfolders;
    const Result<library::Listing> listing = library::listFiles(folder, &subfolders);
    std::vector<library::Entry> entries;
    QStringList folders{QString::fromStdString(folder.string())};
    QString error;
    if (!listing) {
        m_cache.clear();
        error = QString::fromStdString(listing.error());
    } else {
        std::map<std::string, std::pair<library::Stamp, library::Entry>> seen;
        for (const auto& [path, stamp] : listing.value()) {
            const auto cached = m_cache.find(path);
            const bool same = cached != m_cache.end() && cached->second.first == stamp;
            const auto kept =
                seen.emplace(path, same ? std::move(cached->second)
                                        : std::pair{stamp, library::describe(folder, path, stamp)});
            entries.push_back(kept.first->second.second);
        }
        m_cache = std::move(seen);
        library::sortNewestFirst(entries);
        for (const std::string& sub : subfolders) {
            folders.push_back(QString::fromStdString((folder / sub).string()));
        }
    }
    // Queued to this object: dropped if it is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, generation, entries = std::move(entries), folders = std::move(folders), error] {
            std::unique_lock lock(m_mutex);
            if (generation != m_generation) {
                return; // a listing of the folder before
            }
            lock.unlock();
            Q_EMIT listed(entries, folders, error);
        },
        Qt::QueuedConnection);
}
