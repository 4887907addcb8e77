#pragma once

#include "midifile/DumpFiles.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <thread>

// Reads dump files on a thread of its own and hands what it read to the window's thread: a
// big file (an operating system's dump, read up to the reader's cap) never stops the window.
// One read at a time.
class FileOpener : public QObject {
public:
    using Done =
        std::function<void(const std::filesystem::path& path, Result<dumpfile::Contents> read)>;

    FileOpener() = default;
    ~FileOpener() override;
    FileOpener(const FileOpener&) = delete;
    FileOpener& operator=(const FileOpener&) = delete;

    // From the window's thread, when not reading. `done` runs there once the file was read,
    // unless this object is gone by then.
    void read(std::filesystem::path path, Done done);
    // Any reading work likewise: `work` on the thread, then `then` on the window's thread.
    void run(std::function<void()> work, std::function<void()> then);
    bool reading() const { return m_reading; }

private:
    std::thread m_thread;
    bool m_reading = false; // the window's thread's alone
};
