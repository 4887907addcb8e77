#include "AtomicFile.h"

#include "FileBytes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

namespace fs = std::filesystem;

constexpr const char* kMarker = ".bankshuttle-";

// ---- Cleaning up after a signal ------------------------------------------------------------
//
// The temporary file being written, for a clean-up from a signal handler or another thread: a
// copy of its path in a buffer of its own, since the writer's string may be gone by the time a
// clean-up reads it. A write in another thread at the same time simply is not cleaned up (the
// next write to its target removes what it leaves).
enum WritingState : int { kFree, kCopying, kWriting, kTaken };
std::atomic<int> g_writingState{kFree};
char g_writingPath[4096];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Async-signal-safe. True when the temporary file of a write under way was removed.
bool takeAndRemoveWriting() {
    int expected = kWriting;
    if (!g_writingState.compare_exchange_strong(expected, kTaken)) {
        return false;
    }
    const bool removed = ::unlink(g_writingPath) == 0;
    g_writingState.store(kFree);
    return removed;
}

void removeTemporaryAndDie(int signal) {
    static_cast<void>(takeAndRemoveWriting());
    // SA_RESETHAND has put back the default: the signal ends the program as it would have.
    raise(signal);
}

// Only a signal that would end the program as it stands gets the clean-up. One the program
// handles itself (a Ctrl+C that ends its work once the file being written is whole) or
// ignores is left to it: a clean-up there would remove a file that the write still needs.
// Looked at on every write, since the program's own handling comes and goes.
void cleanUpOnSignals() {
    for (const int signal : kSignals) {
        struct sigaction now {};
        if (sigaction(signal, nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO) != 0 ||
            now.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndDie;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

class WritingGuard {
public:
    explicit WritingGuard(const std::string& path) {
        int expected = kFree;
        if (path.size() < sizeof g_writingPath &&
            g_writingState.compare_exchange_strong(expected, kCopying)) {
            std::memcpy(g_writingPath, path.c_str(), path.size() + 1);
            g_writingState.store(kWriting);
            m_owned = true;
        }
    }
    WritingGuard(const WritingGuard&) = delete;
    WritingGuard& operator=(const WritingGuard&) = delete;
    ~WritingGuard() {
        int expected = kWriting;
        if (m_owned && !g_writingState.compare_exchange_strong(expected, kFree)) {
            // A clean-up has the path: the buffer is free once its unlink has returned.
            while (g_writingState.load() == kTaken) {
            }
        }
    }

private:
    bool m_owned = false;
};

// ---- Temporary files -------------------------------------------------------------------------

// ".NAME.bankshuttle-PID-XXXXXX": the process that writes it is part of the name, so that a
// later write can tell a leftover of a killed run from a file being written right now.
std::string temporaryPrefix(const std::string& name) {
    return "." + name + kMarker;
}

// Removes what earlier runs that were killed while writing `name` left in `folder`.
void removeLeftovers(const fs::path& folder, const std::string& name) {
    const std::string prefix = temporaryPrefix(name);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName.rfind(prefix, 0) != 0) {
            continue;
        }
        const std::string rest = entryName.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == std::string::npos || dash == 0 || rest.size() - dash - 1 != 6) {
            continue;
        }
        char* end = nullptr;
        const long pid = std::strtol(rest.c_str(), &end, 10);
        if (end != rest.c_str() + dash || pid <= 0) {
            continue;
        }
        if (pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            struct stat info {};
            const fs::path leftover = folder / entryName;
            if (::lstat(leftover.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                ::unlink(leftover.c_str());
            }
        }
    }
    ::closedir(dir);
}

// Creates a new temporary file beside the target. Created with 0666 so that the kernel
// applies the umask: the umask is never changed, which would race with other threads.
int createTemporary(const fs::path& folder, const std::string& name, std::string& path) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> letter(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix) {
            c = kLetters[letter(random)];
        }
        path =
            (folder / (temporaryPrefix(name) + std::to_string(::getpid()) + "-" + suffix)).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

} // namespace

namespace {

// What a write to `path` would replace: the file a link names, its folder and whether it is
// there; `why` is set when it must not be written.
struct Target {
    std::string path;
    fs::path folder;
    std::string name;
    bool exists = false;
    struct stat info {};
    std::string why;
};

Target resolve(const std::string& path) {
    Target target;
    std::error_code ec;
    target.path = path;
    if (fs::is_symlink(path, ec)) {
        target.path = fs::weakly_canonical(path, ec).string();
    }
    const fs::path parent = fs::path(target.path).parent_path();
    target.folder = parent.empty() ? fs::path(".") : parent;
    target.name = fs::path(target.path).filename().string();
    target.exists = ::stat(target.path.c_str(), &target.info) == 0;
    // Only a regular file is ever replaced: renaming over a device node, a FIFO or a socket
    // would destroy it.
    if (target.exists && !S_ISREG(target.info.st_mode)) {
        target.why = std::string("it is ") + filebytes::kindOfFile(target.info.st_mode) +
                     ", not a regular file; it is left as it is";
    }
    return target;
}

// Moves the finished temporary file to the target. Replace::never asks the kernel not to
// replace; a file system that cannot promise it (EINVAL) gets a hard link, which fails on
// an existing name just as well; one without links (FAT) the check just before.
bool moveInPlace(const std::string& temporary, const std::string& target, Replace replace) {
    if (replace == Replace::existing) {
        return ::rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(temporary.c_str(), target.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    struct stat there {};
    if (::lstat(target.c_str(), &there) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(temporary.c_str(), target.c_str()) == 0;
}

} // namespace

bool removeWriteUnderWay() {
    return takeAndRemoveWriting();
}

std::string whyNotWritable(const std::string& path) {
    const Target target = resolve(path);
    if (!target.why.empty()) {
        return target.why;
    }
    return whyFolderNotWritable(target.folder.string());
}

std::string whyFolderNotWritable(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return "the folder " + folder + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + " is not a folder";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "the folder " + folder + ": " + std::strerror(errno);
    }
    return "";
}

Result<void> writeFileAtomically(const std::string& path,
                                 const std::function<bool(const std::string& temporary)>& write,
                                 Replace replace) {
    const Target resolved = resolve(path);
    if (!resolved.why.empty()) {
        return failure(resolved.why);
    }
    if (replace == Replace::never && (resolved.exists || resolved.path != path)) {
        return failure(std::strerror(EEXIST), kTargetExists);
    }
    const std::string& target = resolved.path;
    const fs::path& folder = resolved.folder;
    const std::string& name = resolved.name;
    const bool exists = resolved.exists;
    const struct stat& existing = resolved.info;
    removeLeftovers(folder, name);
    cleanUpOnSignals();

    std::string temporary;
    const int fd = createTemporary(folder, name, temporary);
    if (fd < 0) {
        return failure(std::strerror(errno));
    }
    const WritingGuard guard(temporary);
    if (exists) {
        ::fchmod(fd, existing.st_mode & 07777); // a replacement keeps the permissions
    }
    ::close(fd);

    errno = 0;
    if (!write(temporary)) {
        const int why = errno;
        ::unlink(temporary.c_str());
        return failure(why != 0 ? std::strerror(why) : "the data cannot be stored that way");
    }
    // On the disk before it takes the old file's place.
    const int sync = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = sync >= 0 && ::fsync(sync) == 0;
    const int why = errno;
    if (sync >= 0) {
        ::close(sync);
    }
    if (!synced || !moveInPlace(temporary, target, replace)) {
        const int renameWhy = synced ? errno : why;
        ::unlink(temporary.c_str());
        return failure(std::strerror(renameWhy), renameWhy == EEXIST ? kTargetExists : 0);
    }
    return {};
}
