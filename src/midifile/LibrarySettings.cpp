#include "LibrarySettings.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace library {

namespace {

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
