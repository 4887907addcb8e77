#include "FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace filebytes {

namespace {

// Closes the descriptor on every path out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

const char* kindOfFile(unsigned int mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "something else";
}

Result<buffer> readWholeFile(const std::string& path) {
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        return failure(std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return failure(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return failure(std::string("the file is ") + kindOfFile(info.st_mode) +
                       ", not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxFileBytes) {
        return failure("the file is larger than 1 GiB");
    }
    buffer bytes(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failure(std::strerror(errno));
        }
        if (n == 0) {
            return failure("the file became shorter while it was read");
        }
        got += static_cast<std::size_t>(n);
    }
    return bytes;
}

} // namespace filebytes
