#include "RawMidiProcInfo.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The number after "Label :" on a line of the form "  Label   : 123".
std::optional<uint64_t> field(std::string_view line, std::string_view label) {
    const std::size_t at = line.find(label);
    const std::size_t colon = line.find(':');
    if (at == std::string_view::npos || colon == std::string_view::npos || colon < at) {
        return std::nullopt;
    }
    std::string_view rest = line.substr(colon + 1);
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc{} || end == rest.data()) {
        return std::nullopt;
    }
    return value;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

} // namespace

std::optional<RawInputState> parseRawInputState(std::string_view text, int subdevice) {
    const std::string heading = "Input " + std::to_string(subdevice);
    std::optional<RawInputState> state;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.front() != ' ') {
            if (state) {
                break; // the next substream's heading
            }
            if (line == heading) {
                state = RawInputState{};
            }
            continue;
        }
        if (!state) {
            continue;
        }
        if (const auto pid = field(line, "Owner PID")) {
            state->open = true;
            state->ownerPid = static_cast<int>(*pid);
        } else if (const auto overruns = field(line, "Overruns")) {
            state->overruns = *overruns;
        }
    }
    return state;
}

std::optional<RawInputState> readRawInputState(int card, int device, int subdevice) {
    const std::string text =
        fileText("/proc/asound/card" + std::to_string(card) + "/midi" + std::to_string(device));
    return text.empty() ? std::nullopt : parseRawInputState(text, subdevice);
}

OtherProgram programWithPid(int pid) {
    OtherProgram program{pid, {}};
    if (pid > 0) {
        std::string name = fileText("/proc/" + std::to_string(pid) + "/comm");
        while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) {
            name.pop_back();
        }
        program.name = std::move(name);
    }
    return program;
}
