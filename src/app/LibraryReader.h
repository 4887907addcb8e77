#pragma once

#include "midifile/Library.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// Reads the library folder off the window's thread: on each request it lists the folder and
// reads the files that are new or changed since the last look (a file that looks the same is
// not read again), then hands the whole listing back on the window's thread. Requests that
// come while it reads make one more look.
class LibraryReader : public QObject {
    Q_OBJECT

public:
    explicit LibraryReader(QObject* parent = nullptr);
    ~LibraryReader() override;

    // Looks at `folder` from now on (every file read anew), and at once.
    void setFolder(const std::filesystem::path& folder);
    // Looks again, soon: something in the folder changed.
    void rescan();

Q_SIGNALS:
    // The folder's files newest first, and its subfolders (absolute), or why it cannot be read.
    void listed(const std::vector<library::Entry>& entries, const QStringList& folders,
                const QString& error);

private:
    void run();
    // One look at the folder; the window's thread receives the outcome.
    void look(const std::filesystem::path& folder, uint64_t generation);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::filesystem::path m_folder;
    uint64_t m_generation = 0; // counts folder changes: a cache belongs to one folder
    bool m_pending = false;
    bool m_stop = false;
    // The reading thread's: what each file held when it looked like its stamp.
    std::map<std::string, std::pair<library::Stamp, library::Entry>> m_cache;
    uint64_t m_cacheGeneration = 0;
    std::thread m_thread; // started once all the above is there, joined before it goes
};
