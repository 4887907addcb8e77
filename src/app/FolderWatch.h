#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Watches folders, not files, with inotify: a folder's watch also tells of writes to the files
// in it, so a library of 100 folders of 1,000 files takes 100 watches, and a change costs the
// window nothing. Used from one thread (the library reader's); wake() from any.
class FolderWatch {
public:
    FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    ~FolderWatch();

    // Watches exactly these folders from now on, adding and removing only the difference; a
    // folder that went (or was moved away) since is watched anew where one of its name is now.
    // False when the system's limit on watches (or on memory for them) kept some unwatched.
    bool watch(const std::vector<std::filesystem::path>& folders);

    enum class Woken { changed, timedOut, woken };
    // Waits for a change in a watched folder, wake(), or `until` (none: no time limit).
    Woken wait(std::optional<std::chrono::steady_clock::time_point> until);
    // Ends a wait under way, or the next one, at once.
    void wake();

private:
    // Reads the pending events; true when any was a change (not only the kernel's notes).
    bool drain();
    // Forgets the folders that watch `wd` stood for: the kernel dropped it, or it follows a
    // folder moved away. True when any was forgotten.
    bool forget(int wd);

    int m_inotify = -1;
    int m_wake = -1;                           // an eventfd
    std::map<std::string, int> m_watches;      // folder -> watch descriptor
    std::multimap<int, std::string> m_folders; // and back (one folder's two names share one)
};
