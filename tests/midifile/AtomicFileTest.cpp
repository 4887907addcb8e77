// Writing whole or not at all, and never at the cost of what stood at the target.
#include "midifile/AtomicFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

namespace {

namespace fs = std::filesystem;

bool writeText(const std::string& path, const std::string& text, std::string* why) {
    const Result<void> written = writeFileAtomically(path, [&](const std::string& temporary) {
        std::ofstream(temporary) << text;
        return true;
    });
    if (why != nullptr) {
        *why = written.error();
    }
    return written.ok();
}

std::vector<std::string> names(const TempDir& dir) {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        all.push_back(entry.path().filename().string());
    }
    std::sort(all.begin(), all.end());
    return all;
}

TEST(AtomicFile, OnlyRegularFilesAreReplaced) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir.file("null.mid"));
    fs::create_symlink(fifo, dir.file("fifo.mid"));
    for (const std::string target : {"null.mid", "fifo.mid", ""}) {
        std::string why;
        EXPECT_FALSE(writeText(dir.file(target), "x", &why)) << target;
        EXPECT_NE(why.find("not a regular file; it is left as it is"), std::string::npos) << why;
        EXPECT_NE(whyNotWritable(dir.file(target)), "");
    }
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_NE(whyNotWritable(dir.file("missing/x.mid")).find("No such file"), std::string::npos);
    EXPECT_EQ(whyNotWritable(dir.file("x.mid")), "");
}

TEST(AtomicFile, NewFilesFollowTheUmaskWhichStaysAsItWas) {
    TempDir dir;
    const mode_t before = umask(027);
    std::string why;
    ASSERT_TRUE(writeText(dir.file("a.mid"), "x", &why)) << why;
    const mode_t after = umask(before);
    EXPECT_EQ(after, 027);
    EXPECT_EQ(fs::status(dir.file("a.mid")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(AtomicFile, NoTemporaryFileOutlivesAKilledWrite) {
    TempDir dir;
    const std::string target = dir.file("dump.mid");
    // A signal in the middle of the write: the temporary file goes with the process.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t child = fork();
        if (child == 0) {
            (void)writeFileAtomically(target, [&](const std::string& temporary) {
                std::ofstream(temporary) << "half";
                raise(signal);
                return true;
            });
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_TRUE(names(dir).empty()) << names(dir).front();
    }
    // A program that handles Ctrl+C itself decides what it ends: the write goes on, whole.
    const pid_t handled = fork();
    if (handled == 0) {
        static volatile sig_atomic_t interrupted = 0;
        struct sigaction own {};
        own.sa_handler = [](int) { interrupted = 1; };
        sigaction(SIGINT, &own, nullptr);
        for (const char* name : {"first.mid", "second.mid"}) { // the first installs any clean-up
            const Result<void> written =
                writeFileAtomically(dir.file(name), [](const std::string& temporary) {
                    std::ofstream(temporary) << "whole";
                    raise(SIGINT);
                    return true;
                });
            if (!written || interrupted == 0) {
                _exit(1);
            }
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(handled, &status, 0), handled);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(names(dir), (std::vector<std::string>{"first.mid", "second.mid"}));
    fs::remove(dir.file("first.mid"));
    fs::remove(dir.file("second.mid"));

    // What a run killed outright (SIGKILL) left is removed by the next write to the target;
    // a leftover of a process that still runs, or of another target, is not.
    const pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    const std::string dead = ".dump.mid.bankshuttle-" + std::to_string(gone) + "-aB3dE9";
    const std::string alive = ".dump.mid.bankshuttle-1-aB3dE9";
    const std::string other = ".other.mid.bankshuttle-" + std::to_string(gone) + "-aB3dE9";
    for (const std::string& name : {dead, alive, other}) {
        dir.write(name, {1});
    }
    std::string why;
    ASSERT_TRUE(writeText(target, "whole", &why)) << why;
    EXPECT_EQ(names(dir), (std::vector<std::string>{alive, other, "dump.mid"}));
}

} // namespace
