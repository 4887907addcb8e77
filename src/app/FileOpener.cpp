#include "FileOpener.h"

#include <memory>
#include <optional>

FileOpener::~FileOpener() {
    // A read under way ends on its own (the reader's cap bounds it); its answer is dropped
    // with this object's queued events.
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void FileOpener::read(std::filesystem::path path, Done done) {
    auto read = std::make_shared<std::optional<Result<dumpfile::Contents>>>();
    run([path, read] { read->emplace(loadDump(path.string())); },
        [path, done = std::move(done), read] { done(path, std::move(**read)); });
}

void FileOpener::run(std::function<void()> work, std::function<void()> then) {
    if (m_thread.joinable()) {
        m_thread.join(); // the last read has handed over its answer already
    }
    m_reading = true;
    m_thread = std::thread([this, work = std::move(work), then = std::move(then)] {
        work();
        QMetaObject::invokeMethod(
            this,
            [this, then] {
                m_reading = false;
                then();
            },
            Qt::QueuedConnection);
    });
}
