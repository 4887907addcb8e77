#include "Library.h"

#include "DumpFiles.h"
#include "dumptypes/KorvoDumptype.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace library {

namespace {

bool isDumpFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".mid" || extension == ".syx";
}

int64_t nanoseconds(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch()).count();
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

fs::path home() {
    const std::string value = environment("HOME");
    return value.empty() ? fs::path("/") : fs::path(value);
}

fs::path configHome() {
    const std::string value = environment("XDG_CONFIG_HOME");
    return value.empty() || value.front() != '/' ? home() / ".config" : fs::path(value);
}

// XDG_MUSIC_DIR="$HOME/Music" in user-dirs.dirs, as the desktop's folders are named.
std::optional<fs::path> xdgMusicDir() {
    std::ifstream dirs(configHome() / "user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_MUSIC_DIR=\"";
        if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"') {
            continue;
        }
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.starts_with("$HOME")) {
            value = home().string() + value.substr(5);
        }
        // A music folder that is the home folder itself means there is none.
        if (value.empty() || value.front() != '/' || fs::path(value) == home()) {
            return std::nullopt;
        }
        return fs::path(value);
    }
    return home() / "Music";
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

Result<Listing> listFiles(const fs::path& folder, std::vector<std::string>* folders) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return failure(folder.string() + " is not a folder that can be read");
    }
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    if (error) {
        return failure(folder.string() + ": " + error.message());
    }
    Listing listing;
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            return failure(folder.string() + ": " + error.message());
        }
        if (it.depth() >= kMaxDepth) {
            it.disable_recursion_pending();
        }
        // Links are not followed: a link back up would list the same files without end.
        const fs::file_status status = it->symlink_status(error);
        if (!error && folders != nullptr && fs::is_directory(status) &&
            folders->size() < kMaxFiles) {
            folders->push_back(fs::relative(it->path(), folder).generic_string());
        }
        if (error || !fs::is_regular_file(status) || !isDumpFile(it->path())) {
            error.clear();
            continue;
        }
        if (listing.size() == kMaxFiles) {
            return failure(folder.string() + " holds more than " + std::to_string(kMaxFiles) +
                           " dump files");
        }
        const uint64_t bytes = it->file_size(error);
        const fs::file_time_type written = it->last_write_time(error);
        if (error) {
            error.clear(); // gone meanwhile: the next look finds it or not
            continue;
        }
        listing.emplace(fs::relative(it->path(), folder).generic_string(),
                        Stamp{bytes, nanoseconds(written)});
    }
    return listing;
}

Entry describe(const fs::path& folder, const std::string& relative, const Stamp& stamp) {
    Entry entry;
    entry.path = relative;
    entry.bytes = stamp.bytes;
    entry.modified = stamp.modified / 1'000'000'000;
    Result<dumpfile::Contents> loaded = loadDump((folder / relative).string());
    if (!loaded) {
        entry.error = loaded.error();
        return entry;
    }
    entry.messages = loaded.value().dump.size();
    entry.dumpType = std::string(identifyDump(&loaded.value().dump)->title());
    return entry;
}

void sortNewestFirst(std::vector<Entry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
    });
}

Result<std::vector<Entry>> read(const fs::path& folder) {
    Result<Listing> listing = listFiles(folder);
    if (!listing) {
        return failure(listing.error());
    }
    std::vector<Entry> entries;
    entries.reserve(listing.value().size());
    for (const auto& [path, stamp] : listing.value()) {
        entries.push_back(describe(folder, path, stamp));
    }
    sortNewestFirst(entries);
    return entries;
}

fs::path defaultFolder() {
    const std::optional<fs::path> music = xdgMusicDir();
    return (music ? *music : home()) / "BankShuttle";
}

fs::path settingsFile() {
    return configHome() / "BankShuttle" / "BankShuttle.ini";
}

fs::path folder() {
    std::ifstream settings(settingsFile());
    const std::string key = std::string(kFolderKey) + "=";
    std::string line;
    bool general = false;
    while (std::getline(settings, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.starts_with("[")) {
            general = line == "[General]";
        } else if (general && line.starts_with(key)) {
            if (const auto chosen = decodeFolder(line.substr(key.size()))) {
                return *chosen;
            }
        }
    }
    return defaultFolder();
}

std::string encodeFolder(const fs::path& folder) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : folder.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '.' || c == '_') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::optional<fs::path> decodeFolder(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) {
            return std::nullopt;
        }
        const int high = hexValue(value[i + 1]);
        const int low = hexValue(value[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    // Only a whole path is a folder to use.
    if (out.empty() || out.front() != '/' || out.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return fs::path(out);
}

} // namespace library
