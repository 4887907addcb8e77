#pragma once

#include "support/TempDir.h"
#include "support/TestPaths.h"

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

// Runs the real bankshuttle-cli and gives back what it said and its exit code.
struct CliResult {
    int exit = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs `program` with `args` after a shell prefix (such as "env -u DISPLAY").
inline CliResult runProgram(const std::string& prefix, const std::string& program,
                            const std::vector<std::string>& args) {
    TempDir io;
    std::string command = prefix + " " + shellQuoted(program);
    for (const std::string& a : args) {
        command += " " + shellQuoted(a);
    }
    command += " >" + io.file("out") + " 2>" + io.file("err") + " </dev/null";
    const int status = std::system(command.c_str());
    CliResult result;
    result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto out = TempDir::read(io.file("out"));
    const auto err = TempDir::read(io.file("err"));
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
}

inline CliResult runCli(const std::vector<std::string>& args) {
    return runProgram("", BANKSHUTTLE_CLI, args);
}
