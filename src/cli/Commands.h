#pragma once

#include "midiinterface/MidiService.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TransferReport;

// The subcommands. Each returns the process's exit code: 0 done, 1 failed, 2 wrong usage.
// Failures are one line on stderr.
namespace cli {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// The MIDI system, opened only by the subcommands that need it.
using MidiOpener = std::function<std::unique_ptr<MidiService>()>;

int ports(const std::vector<std::string>& words, const MidiOpener& openMidi);
int info(const std::vector<std::string>& words);
int receive(const std::vector<std::string>& words, const MidiOpener& openMidi);
int send(const std::vector<std::string>& words, const MidiOpener& openMidi);
int convert(const std::vector<std::string>& words);
int list(const std::vector<std::string>& words);

// True when the words ask for --help (or -h).
bool wantsHelp(const std::vector<std::string>& words);
int failed(const std::string& message);
// receive --many into `folder`; `count` dumps at most (0: until Ctrl+C or the input goes).
int receiveSeries(MidiService& midi, const std::string& portName,
                  const std::filesystem::path& folder, unsigned long count);
// How a transfer ended, on stderr, and the exit status that goes with it.
int shown(const TransferReport& report);
int usage(const std::string& message, const char* help);

} // namespace cli
