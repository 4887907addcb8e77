#pragma once

#include "midiinterface/RecordingOutcome.h"

#include <cstdint>
#include <optional>
#include <string_view>

// What the kernel tells any user about one raw MIDI input substream, in
// /proc/asound/cardC/midiD. The sequencer opens a hardware port's substream for its first
// subscriber and keeps it open while anyone subscribes, so "Owner PID" then names the program
// that subscribed first; a program that opened the device itself (amidi, a DAW) is named
// there too.
struct RawInputState {
    bool open = false;     // held by a program, or by the sequencer for its subscribers
    int ownerPid = 0;      // 0 when not open
    uint64_t overruns = 0; // bytes the kernel dropped for want of room since it was opened
};

// Null when the card's file cannot be read or does not list that input.
std::optional<RawInputState> readRawInputState(int card, int device, int subdevice);
// The same from the file's text.
std::optional<RawInputState> parseRawInputState(std::string_view text, int subdevice);

// The program with that process id, named by /proc/PID/comm ("" when it cannot be read).
OtherProgram programWithPid(int pid);
