#include "FolderWatch.h"

#include <cerrno>
#include <cstdint>
#include <set>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// What changes a listing: files and folders that come, go, are renamed or written; the folder
// itself going.
constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                             IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                             IN_ONLYDIR | IN_DONT_FOLLOW;

} // namespace

FolderWatch::FolderWatch()
    : m_inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

FolderWatch::~FolderWatch() {
    for (int fd : {m_inotify, m_wake}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool FolderWatch::watch(const std::vector<std::filesystem::path>& folders) {
    if (m_inotify < 0) {
        return folders.empty();
    }
    std::set<std::string> wanted;
    for (const auto& folder : folders) {
        wanted.insert(folder.string());
    }
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (!wanted.contains(it->first)) {
            const int wd = it->second;
            const auto [first, last] = m_folders.equal_range(wd);
            for (auto name = first; name != last; ++name) {
                if (name->second == it->first) {
                    m_folders.erase(name);
                    break;
                }
            }
            it = m_watches.erase(it);
            if (!m_folders.contains(wd)) {
                inotify_rm_watch(m_inotify, wd); // a folder that went has lost it already
            }
        } else {
            ++it;
        }
    }
    bool all = true;
    for (const std::string& folder : wanted) {
        if (m_watches.contains(folder)) {
            continue;
        }
        const int wd = inotify_add_watch(m_inotify, folder.c_str(), kEvents);
        if (wd >= 0) {
            m_watches.emplace(folder, wd);
            m_folders.emplace(wd, folder);
        } else if (errno == ENOSPC || errno == ENOMEM) {
            all = false;
        } // else the folder went meanwhile: the next look knows
    }
    return all;
}

FolderWatch::Woken FolderWatch::wait(std::optional<std::chrono::steady_clock::time_point> until) {
    for (;;) {
        int timeout = -1;
        if (until) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *until - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return Woken::timedOut;
            }
            timeout = static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX));
        }
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        const int ready = poll(fds, m_inotify >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno != EINTR) {
            return Woken::woken; // cannot wait: the caller looks again rather than hang
        }
        if (ready <= 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            uint64_t count = 0;
            static_cast<void>(read(m_wake, &count, sizeof count));
            return Woken::woken;
        }
        if ((fds[1].revents & POLLIN) != 0 && drain()) {
            return Woken::changed;
        }
    }
}

void FolderWatch::wake() {
    const uint64_t one = 1;
    static_cast<void>(write(m_wake, &one, sizeof one));
}

bool FolderWatch::drain() {
    alignas(inotify_event) char buffer[16384];
    bool changed = false;
    for (;;) {
        const ssize_t n = read(m_inotify, buffer, sizeof buffer);
        if (n <= 0) {
            return changed;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_MOVE_SELF) != 0) {
                // It follows the folder to its new place, where a look watches it by that name.
                if (forget(event->wd)) {
                    inotify_rm_watch(m_inotify, event->wd);
                }
            }
            if ((event->mask & IN_IGNORED) != 0) {
                // A dropped watch of a folder still wanted: a look watches what has its name now.
                changed = forget(event->wd) || changed;
                continue;
            }
            changed = true; // an overflow may hide any change
        }
    }
}

bool FolderWatch::forget(int wd) {
    const auto [first, last] = m_folders.equal_range(wd);
    if (first == last) {
        return false;
    }
    for (auto it = first; it != last; ++it) {
        m_watches.erase(it->second);
    }
    m_folders.erase(first, last);
    return true;
}
