#pragma once

#include "FolderWatch.h"
#include "core/event.h"
#include "midifile/Library.h"
#include "midifile/SameBackup.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Reads and follows the library folder off the window's thread: it lists the folder, reads
// the files that are new or changed since the last look (a file that looks the same is not
// read again), sorts and filters the rows as the pane asks, and hands them back on the
// window's thread whole, so that the window only swaps them in. It watches the folders
// (FolderWatch) and looks again 150 ms after a change; where the system's limit on watches is
// reached it says so and looks every few seconds. A new folder or the reader's end calls off
// a look under way.
class LibraryReader : public QObject {
    Q_OBJECT

public:
    using Row = std::shared_ptr<const library::Entry>;
    using Rows = std::vector<Row>;
    enum Column { kName, kType, kMessages, kSize, kModified, kSameAs };
    // Which listing this is, and where its rows were in the one before it (`previous`, 0 when
    // none), so that the window carries its selection over by place, never by name:
    // `before[row]` is the row's place there, or -1 for a file it did not show.
    struct Places {
        uint64_t listing = 0;
        uint64_t previous = 0;
        std::vector<int> before;
    };

    explicit LibraryReader(QObject* parent = nullptr);
    ~LibraryReader() override;

    // Looks at `folder` from now on (every file read anew), and at once.
    void setFolder(const std::filesystem::path& folder);
    // Looks again now (after this program wrote into the folder).
    void rescan();
    // The rows from now on: sorted by `column`, and only those whose name or type holds
    // `filter` (any case), without the files whose backup an older file holds when
    // `hideDuplicates`.
    void arrange(int column, bool descending, const QString& filter, bool hideDuplicates);
    // Which file of the library already holds `dump`'s backup: `held` answers on the window's
    // thread with the question this returns, and "" when no file does. Several askers may
    // wait at once (a single Receive's question may still be open when a series asks), so
    // each keeps its question and takes only its answer.
    [[nodiscard]] quint64 findHolder(Dump dump);
    // While held, the reader takes no request (as during a long look): tests force an order.
    void holdRequests(bool held);
    std::size_t questionsWaiting() const;

    // What a row's type column says.
    static QString typeText(const library::Entry& entry);

Q_SIGNALS:
    // The rows to show; `note`: "" when all is well, else what the folder line says instead of
    // the folder (why it cannot be read: the last rows it had stay; that it is followed by
    // looking now and then).
    void listed(const Rows& rows, const QString& note, const Places& places);
    // The answer to findHolder's `question`: the file (relative) and when it was written
    // (s since 1970).
    void held(quint64 question, const QString& path, qint64 modified);

private:
    struct Order {
        int column = kModified;
        bool descending = true;
        QString filter;
        bool hideDuplicates = false;
    };
    void run();
    // One look at the folder; false when it was called off.
    bool look(const std::filesystem::path& folder);
    // Every file the last look found.
    std::vector<const library::Entry*> cachedEntries() const;
    // Each file's older copy, for the rows whose one changed; false when called off.
    bool markCopies(const std::filesystem::path& folder);
    struct Question {
        quint64 id = 0;
        Dump dump;
    };
    void answerHolder(const std::filesystem::path& folder, const Question& question);
    // The rows in `order`, to the window's thread, unless they are what it has.
    void send(uint64_t generation, const Order& order);

    mutable std::mutex m_mutex; // the requests below
    std::filesystem::path m_folder;
    uint64_t m_generation = 0; // counts folder changes: a cache belongs to one folder
    bool m_lookPending = false;
    bool m_arrangePending = false;
    std::deque<Question> m_holderQuestions;
    quint64 m_lastQuestion = 0;
    bool m_held = false;
    bool m_stop = false;
    Order m_order;
    std::atomic<bool> m_cancel{false};

    // The reading thread's own.
    FolderWatch m_watch;
    bool m_limited = false; // some folders could not be watched
    std::map<std::string, std::pair<library::Stamp, Row>> m_cache;
    samebackup::Confirmations m_confirmed; // of the copies in m_cache
    uint64_t m_cacheGeneration = 0;
    QString m_note;
    Rows m_sent;
    QString m_sentNote;
    bool m_sentOnce = false;
    uint64_t m_listings = 0; // numbers the listings sent
    std::thread m_thread;
};
