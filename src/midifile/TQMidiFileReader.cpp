#include "TQMidiFileReader.h"
#include "core/MidiConstants.h"

#include "FileBytes.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kByteTimesPerSecond = midi::kCableSpeed;
using midi::hex;
using midi::kEndOfSysEx;
using midi::kSysEx;
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr std::size_t kHeaderBytes = 14;

// Bytes a message takes, status byte included; not for SysEx.
std::size_t messageSize(uint8_t status) {
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) {
        return 3;
    }
    if (status < 0xE0) {
        return 2;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1; // 0xF4 to 0xFE
    }
}

// The index of the first byte from `from` up to `to` (exclusive) that is not a data byte, or
// `to`. Eight bytes at a time: SysEx data is most of what a dump file holds.
std::size_t firstStatusByte(const uint8_t* bytes, std::size_t from, std::size_t to) {
    std::size_t i = from;
    for (; i + 8 <= to; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word & 0x8080808080808080u) {
            break;
        }
    }
    while (i < to && bytes[i] < 0x80) {
        ++i;
    }
    return i;
}

std::string at(std::size_t offset) {
    return "at offset " + std::to_string(offset);
}

} // namespace

TQMidiFileReader::TQMidiFileReader(const char* path) {
    Result<buffer> read = filebytes::readWholeFile(path);
    if (!read) {
        m_error = read.error();
        return;
    }
    m_bytes = std::move(read.value());
    readHeader();
}

TQMidiFileReader::TQMidiFileReader(buffer bytes) : m_bytes(std::move(bytes)) {
    readHeader();
}

bool TQMidiFileReader::refuse(std::string reason) {
    if (m_error.empty()) {
        m_error = std::move(reason);
    }
    return false;
}

void TQMidiFileReader::readHeader() {
    m_trackEnd = m_bytes.size();
    const auto starts = [this](const char* id) {
        return m_bytes.size() >= 4 && std::memcmp(m_bytes.data(), id, 4) == 0;
    };
    if (starts("MIDI")) {
        refuse("the file was never finished: it begins with \"MIDI\", the mark of a save that "
               "was interrupted");
        return;
    }
    if (!starts("MThd")) {
        refuse("not a Standard MIDI File: it does not begin with \"MThd\"");
        return;
    }
    if (m_bytes.size() < kHeaderBytes) {
        refuse("the header is cut short " + at(m_bytes.size()));
        return;
    }
    const auto u16 = [this](std::size_t i) {
        return static_cast<uint16_t>(m_bytes[i] << 8 | m_bytes[i + 1]);
    };
    const uint64_t headerLength = uint64_t{u16(4)} << 16 | u16(6);
    m_format = u16(8);
    m_tracks = u16(10);
    m_division = u16(12);
    if (headerLength < 6 || headerLength > m_bytes.size() - 8) {
        refuse("the header length " + std::to_string(headerLength) + " " + at(4) +
               " does not fit the file");
        return;
    }
    if (m_division & 0x8000) {
        refuse("time code division (" + hex(m_division >> 8) + " " + at(12) + ") is not supported");
        return;
    }
    m_bytesPerTick = m_division == 0 ? 0 : kByteTimesPerSecond / (2u * m_division);
    if (m_bytesPerTick == 0) {
        refuse("division " + std::to_string(m_division) + " " + at(12) +
               " gives no usable time base");
        return;
    }
    m_pos = 8 + static_cast<std::size_t>(headerLength);
}

bool TQMidiFileReader::readTrackHeader() {
    if (!usable()) {
        return false;
    }
    if (m_bytes.size() - m_pos < 8) {
        return refuse("the file ends " + at(m_bytes.size()) + " before its track chunk");
    }
    if (std::memcmp(m_bytes.data() + m_pos, "MTrk", 4) != 0) {
        return refuse("no track chunk (\"MTrk\") " + at(m_pos));
    }
    const uint8_t* n = m_bytes.data() + m_pos + 4;
    const uint64_t length = uint64_t{n[0]} << 24 | uint64_t{n[1]} << 16 | n[2] << 8 | n[3];
    m_pos += 8;
    m_declaredTrackEnd = m_pos + length;
    m_trackEnd =
        m_pos + static_cast<std::size_t>(std::min<uint64_t>(length, m_bytes.size() - m_pos));
    m_inTrack = true;
    m_lastLength = 0;
    m_runningStatus = 0;
    return true;
}

bool TQMidiFileReader::cutShort(const std::string& what) {
    if (m_declaredTrackEnd > m_bytes.size()) {
        return refuse("the file is cut short " + at(m_bytes.size()) + ", inside " + what +
                      ": its track announces " +
                      std::to_string(m_declaredTrackEnd - m_bytes.size()) + " bytes more");
    }
    return refuse(what + " runs past the end of the track " + at(m_trackEnd));
}

bool TQMidiFileReader::readVarLen(uint64_t& value) {
    const std::size_t start = m_pos;
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (m_pos >= m_trackEnd) {
            if (m_declaredTrackEnd > m_bytes.size()) {
                return cutShort("the track");
            }
            return refuse("the track ends " + at(m_trackEnd) + " without its end-of-track event");
        }
        const uint8_t b = m_bytes[m_pos++];
        value = value << 7 | (b & 0x7F);
        if ((b & 0x80) == 0) {
            return true;
        }
    }
    return refuse("the variable-length number " + at(start) + " is longer than 4 bytes");
}

bool TQMidiFileReader::take(uint64_t length, std::size_t& start, const char* what,
                            std::size_t eventStart) {
    if (length > m_trackEnd - m_pos) {
        if (m_pos + length <= m_declaredTrackEnd) {
            return cutShort(std::string("the ") + what + " " + at(eventStart));
        }
        return refuse(std::string("the ") + what + " " + at(eventStart) + " declares " +
                      std::to_string(length) + " bytes, more than the track holds");
    }
    start = m_pos;
    m_pos += static_cast<std::size_t>(length);
    return true;
}

bool TQMidiFileReader::readMetaEvent(uint8_t& type, buffer& data) {
    if (!usable() || !m_inTrack) {
        return false;
    }
    const std::size_t event = m_pos;
    uint64_t delta = 0; // meta events do not shift the messages' times
    if (!readVarLen(delta)) {
        return false;
    }
    if (m_pos >= m_trackEnd || m_bytes[m_pos] != kMeta || m_trackEnd - m_pos < 2 ||
        m_bytes[m_pos + 1] == kEndOfTrack) {
        m_pos = event;
        return false;
    }
    type = m_bytes[m_pos + 1];
    m_pos += 2;
    uint64_t length = 0;
    std::size_t start = 0;
    if (!readVarLen(length) || !take(length, start, "meta event", event)) {
        return false;
    }
    data.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(start),
                m_bytes.begin() + static_cast<std::ptrdiff_t>(m_pos));
    return true;
}

double TQMidiFileReader::offsetOf(uint64_t delta) const {
    // The delta time also covers the previous message's transmission; a delta shorter than
    // that is no pause at all.
    const uint64_t previous = m_lastLength / m_bytesPerTick;
    const uint64_t pause = delta > previous ? delta - previous : 0;
    return static_cast<double>(pause / 2 / m_division);
}

bool TQMidiFileReader::appendPacket(buffer* message, std::size_t& size, std::size_t from,
                                    std::size_t to, std::size_t eventStart,
                                    std::size_t messageStart, bool& complete) {
    // Every byte a data byte, but the last, which may be the 0xF7 that ends the message.
    complete = false;
    std::size_t bad = to;
    if (from != to) {
        const std::size_t last = to - 1;
        const std::size_t stop = firstStatusByte(m_bytes.data(), from, last);
        if (stop != last) {
            bad = stop;
        } else if (m_bytes[last] == kEndOfSysEx) {
            complete = true;
        } else if (m_bytes[last] >= 0x80) {
            bad = last;
        }
    }
    if (bad != to) {
        return refuse("byte " + hex(m_bytes[bad]) + " " + at(bad) + " in the SysEx event " +
                      at(eventStart) + " is no data byte: the message that begins " +
                      at(messageStart) + " is not one complete message");
    }
    if (message != nullptr) {
        message->insert(message->end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(from),
                        m_bytes.begin() + static_cast<std::ptrdiff_t>(to));
    }
    size += to - from;
    return true;
}

bool TQMidiFileReader::readChannelMessage(uint8_t status, bool running, buffer* message,
                                          std::size_t eventStart) {
    const std::size_t size = messageSize(status);
    const std::size_t dataBytes = size - 1;
    const std::size_t first = m_pos;
    if (m_trackEnd - m_pos < dataBytes) {
        return cutShort("the message " + at(eventStart));
    }
    for (std::size_t i = first; i < first + dataBytes; ++i) {
        if (m_bytes[i] >= 0x80) {
            return refuse("byte " + hex(m_bytes[i]) + " " + at(i) + " interrupts the message " +
                          at(eventStart) + (running ? " (running status)" : ""));
        }
    }
    if (message != nullptr) {
        message->resize(size);
        (*message)[0] = status;
        std::memcpy(message->data() + 1, m_bytes.data() + first, dataBytes);
    }
    m_pos += dataBytes;
    return true;
}

bool TQMidiFileReader::readEvent(buffer& message, double& offset) {
    return next(&message, offset);
}

bool TQMidiFileReader::next(buffer* message, double& offset) {
    if (!usable() || !m_inTrack) {
        return false;
    }
    std::size_t size = 0; // of the message being read, status byte included
    // A SysEx message split into packets: where it began and the delta time of its first.
    bool pending = false;
    std::size_t messageStart = 0;
    uint64_t messageDelta = 0;
    for (;;) {
        const std::size_t event = m_pos;
        uint64_t delta = 0;
        if (!readVarLen(delta)) {
            return false;
        }
        if (m_pos >= m_trackEnd) {
            return cutShort("the event " + at(event));
        }
        uint8_t status = m_bytes[m_pos];
        const bool running = status < 0x80;
        if (running) {
            if (m_runningStatus == 0 || pending) {
                return refuse("data byte " + hex(status) + " " + at(m_pos) +
                              " stands where an event's status byte belongs");
            }
            status = m_runningStatus;
        } else {
            ++m_pos;
        }

        if (status == kMeta) {
            if (m_pos >= m_trackEnd) {
                return cutShort("the meta event " + at(event));
            }
            const uint8_t type = m_bytes[m_pos++];
            uint64_t length = 0;
            std::size_t start = 0;
            if (!readVarLen(length) || !take(length, start, "meta event", event)) {
                return false;
            }
            if (type == kEndOfTrack) {
                m_inTrack = false;
                if (pending) {
                    return refuse("the SysEx message that begins " + at(messageStart) +
                                  " never ends: the track ends " + at(event));
                }
                return false;
            }
            continue;
        }

        if (status == kSysEx || status == kEndOfSysEx) {
            m_runningStatus = 0;
            uint64_t length = 0;
            std::size_t start = 0;
            if (!readVarLen(length) || !take(length, start, "SysEx event", event)) {
                return false;
            }
            if (status == kEndOfSysEx && !pending) {
                continue; // an escape: bytes to send as they are, not a message of the dump
            }
            if (status == kSysEx) {
                if (pending) {
                    return refuse("the SysEx message that begins " + at(messageStart) +
                                  " never ends: another begins " + at(event));
                }
                pending = true;
                messageStart = event;
                messageDelta = delta;
                size = 1;
                if (message != nullptr) {
                    message->assign(1, kSysEx);
                }
            }
            bool complete = false;
            if (!appendPacket(message, size, start, m_pos, event, messageStart, complete)) {
                return false;
            }
            if (!complete) {
                continue; // the rest follows in 0xF7 packets
            }
            offset = offsetOf(messageDelta);
            m_lastLength = size;
            return true;
        }

        if (pending) {
            return refuse("the SysEx message that begins " + at(messageStart) +
                          " is cut off by the event " + at(event));
        }
        if (status < 0xF0) {
            m_runningStatus = status;
        } else if (status < 0xF8) {
            m_runningStatus = 0; // system common messages end running status
        }
        if (!readChannelMessage(status, running, message, event)) {
            return false;
        }
        offset = offsetOf(delta);
        m_lastLength = messageSize(status);
        return true;
    }
}

bool TQMidiFileReader::readEvents(Dump& dump) {
    uint8_t type = 0;
    buffer scratch;
    while (readMetaEvent(type, scratch)) {
    }
    dump.clear();
    if (!usable() || !m_inTrack) {
        return false;
    }
    // Count first, so that a refused or oversized file never costs the memory of its dump.
    const std::size_t pos = m_pos;
    const uint64_t lastLength = m_lastLength;
    const uint8_t runningStatus = m_runningStatus;
    std::size_t count = 0;
    double offset = 0.0;
    while (next(nullptr, offset)) {
        if (++count > kMaxDumpMessages) {
            return refuse("the file holds more than " + std::to_string(kMaxDumpMessages) +
                          " messages, more than any dump");
        }
    }
    if (!m_error.empty()) {
        return false;
    }
    m_pos = pos;
    m_lastLength = lastLength;
    m_runningStatus = runningStatus;
    m_inTrack = true;
    dump.reserve(count);
    midi::event event;
    while (readEvent(event, offset)) {
        event.m_offset = offset;
        dump.push_back(std::move(event));
        event = midi::event();
    }
    return m_error.empty();
}
