#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

bool fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

// The permissions a newly created file would get, or those of the file it replaces.
mode_t modeFor(const std::string& path) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool writeFileAtomically(const std::string& path,
                         const std::function<bool(const std::string& temporary)>& write,
                         std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string target = path;
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec).string();
    }
    const fs::path folder = fs::path(target).parent_path();
    std::string temporary = ((folder.empty() ? fs::path(".") : folder) /
                             ("." + fs::path(target).filename().string() + ".bankshuttle-XXXXXX"))
                                .string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return fail(error, std::strerror(errno));
    }
    fchmod(fd, modeFor(target));
    close(fd);

    errno = 0;
    if (!write(temporary)) {
        const int why = errno;
        unlink(temporary.c_str());
        return fail(error, why != 0 ? std::strerror(why) : "the data cannot be stored that way");
    }
    // On the disk before it takes the old file's place.
    const int sync = ::open(temporary.c_str(), O_RDONLY);
    const bool synced = sync >= 0 && fsync(sync) == 0;
    const int why = errno;
    if (sync >= 0) {
        close(sync);
    }
    if (!synced || rename(temporary.c_str(), target.c_str()) != 0) {
        const int renameWhy = synced ? errno : why;
        unlink(temporary.c_str());
        return fail(error, std::strerror(renameWhy));
    }
    return true;
}
