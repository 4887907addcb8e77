#include "TQMidiFileWriter.h"
#include "core/MidiConstants.h"

#include <cmath>

namespace {

constexpr uint64_t kByteTimesPerSecond = midi::kCableSpeed;
using midi::kSysEx;

} // namespace

TQMidiFileWriter::TQMidiFileWriter(const char* path, uint16_t division)
    : TQofstream(path), m_division(division),
      m_bytesPerTick(division == 0 ? 0 : kByteTimesPerSecond / (2u * division)) {
    if (m_bytesPerTick == 0) { // no time base to write delta times in
        setstate(std::ios::failbit);
    }
    writeHeader();
}

bool TQMidiFileWriter::refuse() {
    setstate(std::ios::failbit);
    return false;
}

uint64_t TQMidiFileWriter::ticksOf(uint64_t byteTimes) const {
    return (byteTimes + m_bytesPerTick - 1) / m_bytesPerTick;
}

void TQMidiFileWriter::writeHeader() {
    const int64_t resume = tell();
    seek(0);
    writeBytes(reinterpret_cast<const uint8_t*>(m_tracks != 0 ? "MThd" : "MIDI"), 4);
    writeUInt32(6, true);
    writeUInt16(m_tracks > 1 ? 1 : 0, true);
    writeUInt16(m_tracks, true);
    writeUInt16(m_division, true);
    if (resume != 0) {
        seek(resume);
    }
}

void TQMidiFileWriter::beginTrack() {
    m_trackLength = 0;
    m_lastTime = 0;
    m_trackStart = static_cast<uint64_t>(tell());
    writeBytes(reinterpret_cast<const uint8_t*>("----"), 4);
    writeUInt32(0, true);
}

bool TQMidiFileWriter::writeMetaEvent(uint8_t type, const buffer& data, bool afterLastMessage) {
    const uint64_t delta = afterLastMessage ? ticksOf(m_lastTime) : 0;
    if (fail() || delta > kMaxVarLen || data.size() > kMaxVarLen) {
        return refuse();
    }
    m_trackLength += writeVarLen(delta);
    m_trackLength += writeByte(0xFF);
    m_trackLength += writeByte(type);
    m_trackLength += writeVarLen(data.size());
    m_trackLength += writeBytes(data.data(), data.size());
    return true;
}

bool TQMidiFileWriter::writeEvent(const buffer& message, double offset) {
    if (message.empty()) {
        return true;
    }
    // Pause in byte times, in this order of double arithmetic so that the same offset always
    // gives the same ticks (0.3 s is 936 byte times, not 937).
    const double pause = static_cast<double>(m_bytesPerTick) *
                         (static_cast<double>(m_division + m_division) * offset);
    // Also catches NaN and negative offsets, which are no pause the file can express.
    if (fail() || !(pause >= 0.0) || pause > static_cast<double>(kMaxVarLen) * 65536.0) {
        return refuse();
    }
    const auto byteTimes = static_cast<uint64_t>(std::ceil(pause));
    const uint64_t delta = ticksOf(byteTimes + m_lastTime);
    const bool sysex = message[0] == kSysEx;
    if (delta > kMaxVarLen || (sysex && message.size() - 1 > kMaxVarLen)) {
        return refuse();
    }
    m_trackLength += writeVarLen(delta);
    m_trackLength += writeByte(message[0]);
    if (sysex) {
        m_trackLength += writeVarLen(message.size() - 1);
    }
    m_trackLength += writeBytes(message.data() + 1, message.size() - 1);
    const uint64_t n = message.size() - 1 + m_bytesPerTick;
    m_lastTime = n - n % m_bytesPerTick;
    return true;
}

void TQMidiFileWriter::endTrack() {
    writeMetaEvent(0x2F, buffer{}, true);
    if (m_trackLength > UINT32_MAX) {
        refuse();
    }
    m_trackEnd = static_cast<uint64_t>(tell());
    seek(static_cast<int64_t>(m_trackStart));
    writeBytes(reinterpret_cast<const uint8_t*>("MTrk"), 4);
    writeUInt32(static_cast<uint32_t>(m_trackLength), true);
    seek(static_cast<int64_t>(m_trackEnd));
    ++m_tracks;
    writeHeader();
}
