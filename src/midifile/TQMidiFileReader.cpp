#include "TQMidiFileReader.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kByteTimesPerSecond = 3125;

uint64_t channelMessageSize(uint8_t status) {
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

} // namespace

TQMidiFileReader::TQMidiFileReader(const char* path) : TQifstream(path) {
    if (!readIdentifier("MThd")) {
        return;
    }
    skip(4); // header length; always 6 for the files we read
    m_format = readUInt16(true);
    m_tracks = readUInt16(true);
    m_division = readUInt16(true);
    m_bytesPerTick = m_division == 0 ? 0 : kByteTimesPerSecond / (2u * m_division);
}

bool TQMidiFileReader::readIdentifier(const char (&expected)[5]) {
    uint8_t id[4];
    return readBytes(id, 4) == 4 && std::memcmp(id, expected, 4) == 0;
}

bool TQMidiFileReader::readTrackHeader() {
    if (m_bytesPerTick == 0 || !readIdentifier("MTrk")) {
        return false;
    }
    skip(4); // the track is read event by event, not by its declared length
    m_lastLength = 0;
    return true;
}

bool TQMidiFileReader::readMetaEvent(uint8_t& type, buffer& data) {
    if (m_bytesPerTick == 0) {
        return false;
    }
    const int64_t start = tell();
    readVarLen(); // meta events do not shift the messages' times
    if (readByte() != 0xFF) {
        seek(start);
        return false;
    }
    type = readByte();
    const uint64_t length = readVarLen();
    // A length beyond the file's end is refused before anything is allocated for it.
    if (length == 0 || fail() || length > bytesLeft()) {
        seek(start);
        return false;
    }
    data.resize(length);
    if (readBytes(data.data(), length) != length) {
        seek(start);
        return false;
    }
    return true;
}

uint64_t TQMidiFileReader::messageSize(uint8_t status) {
    if (status != 0xF0) {
        return channelMessageSize(status);
    }
    // The declared length is only a hint: the message ends at the first 0xF7 at or after
    // 7/8 of it, so a length written too small still yields the whole message.
    const uint64_t declared = readVarLen();
    const int64_t data = tell();
    const auto hint = static_cast<uint64_t>(std::floor(static_cast<double>(declared) * 0.875));
    if (hint > bytesLeft()) {
        return 0;
    }
    skip(hint);
    const uint64_t through = countThrough(0xF7);
    if (through == 0) {
        return 0; // no end byte before the end of the file: the message is incomplete
    }
    seek(data);
    return hint + through + 1;
}

bool TQMidiFileReader::readEvent(buffer& message, double& offset) {
    if (m_bytesPerTick == 0) {
        return false;
    }
    const int64_t start = tell();
    const uint64_t delta = readVarLen();
    // The delta time also covers the previous message's transmission; a delta shorter than
    // that is no pause at all.
    const uint64_t previous = m_lastLength / m_bytesPerTick;
    const uint64_t pause = delta > previous ? delta - previous : 0;
    offset = static_cast<double>(pause / 2 / m_division);

    const uint8_t status = readByte();
    if (status < 0x80 || status == 0xFF) { // running status is not supported
        seek(start);
        return false;
    }
    const uint64_t size = messageSize(status);
    if (size == 0 || size - 1 > bytesLeft()) {
        return false; // cut short by the end of the file
    }
    m_lastLength = size;
    message.resize(size);
    message[0] = status;
    return size == 1 || readBytes(message.data() + 1, size - 1) == size - 1;
}

bool TQMidiFileReader::readEvents(Dump& dump) {
    uint8_t type = 0;
    buffer scratch;
    while (readMetaEvent(type, scratch)) {
    }
    dump.clear();
    midi::event event;
    double offset = 0.0;
    while (readEvent(event, offset)) {
        event.m_offset = offset;
        dump.push_back(event);
    }
    return true;
}
