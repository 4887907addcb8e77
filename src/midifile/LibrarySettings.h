#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Where the library lives: the one setting, kept in a settings file that the window writes and
// both programs read, and the desktop's user folders that give the default.
namespace library {

// Where backups go unless the user chose another folder: "BankShuttle" in the user's music
// folder (XDG_MUSIC_DIR from the user's user-dirs.dirs, else ~/Music), or in the home folder
// where there is no home for music.
std::filesystem::path defaultFolder();
// The folder the user chose (the window's setting), else the default.
std::filesystem::path folder();
// The settings file both programs read: $XDG_CONFIG_HOME/BankShuttle/BankShuttle.ini.
std::filesystem::path settingsFile();
// The setting's value for a folder as the settings file stores it (percent-encoded UTF-8,
// so that any name survives the INI format), and back.
std::string encodeFolder(const std::filesystem::path& folder);
std::optional<std::filesystem::path> decodeFolder(const std::string& value);
// The key in the settings file's [General] section.
inline constexpr const char* kFolderKey = "libraryFolder";

} // namespace library
