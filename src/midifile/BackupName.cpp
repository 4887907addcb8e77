#include "BackupName.h"

#include "DumpFiles.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace backupname {

namespace {

bool taken(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0; // a dangling link takes its name too
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder.empty() ? "." : folder) / name).string();
}

} // namespace

std::string proposed(std::string_view title, std::chrono::year_month_day day) {
    std::string name;
    for (const char c : title) {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7F ||
                            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        name += unsafe ? '_' : c;
    }
    if (name.empty()) {
        name = "untitled";
    }
    char date[32];
    std::snprintf(date, sizeof date, " %04d-%02u-%02u.mid", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return name + date;
}

std::chrono::year_month_day today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return std::chrono::year_month_day{std::chrono::year(local.tm_year + 1900),
                                       std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
                                       std::chrono::day(static_cast<unsigned>(local.tm_mday))};
}

std::string numbered(const std::string& name, int n) {
    if (n <= 1) {
        return name;
    }
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, cut) + " " + std::to_string(n) + name.substr(cut);
}

std::string firstFree(const std::string& folder, const std::string& name) {
    for (int n = 1; n <= kMaxNumber; ++n) {
        if (!taken(inFolder(folder, numbered(name, n)))) {
            return numbered(name, n);
        }
    }
    return name;
}

Result<std::string> storeAsNew(const std::string& folder, const std::string& name,
                               const dumpfile::Contents& contents) {
    for (int n = 1; n <= kMaxNumber; ++n) {
        // A taken name, a link included, is refused as kTargetExists before anything is written.
        const std::string path = inFolder(folder, numbered(name, n));
        const Result<void> stored = storeDump(path, contents, Replace::never);
        if (stored) {
            return path;
        }
        if (stored.code() != kTargetExists) {
            return failure(path + ": " + stored.error());
        }
    }
    return failure("every name from \"" + name + "\" to \"" + numbered(name, kMaxNumber) +
                   "\" is taken in " + folder);
}

} // namespace backupname
