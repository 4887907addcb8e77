#pragma once

#include "buffer.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace midi {

// One complete MIDI message (status byte first; a SysEx message from its 0xF0 through its
// 0xF7) and the pause that must precede it when it is transmitted.
class event : public buffer {
public:
    using buffer::buffer;

    event() = default;
    explicit event(buffer bytes, double offset = 0.0)
        : buffer(std::move(bytes)), m_offset(offset) {}
    event(const event&) = default;
    event(event&&) noexcept = default;
    event& operator=(const event&) = default;
    event& operator=(event&&) noexcept = default;
    ~event() override = default;

    std::string debugString() const override;

    // Seconds to wait after the previous message has been sent completely, before this one.
    double m_offset = 0.0;
};

} // namespace midi

// A dump: the messages in the order of reception, storage and transmission.
using Dump = std::vector<midi::event>;

// No instrument's dump comes near this many messages; a file or recording with more is
// refused, so that memory stays bounded whatever a source sends.
inline constexpr std::size_t kMaxDumpMessages = 1'000'000;
