#include "KorvoDumptype.h"

#include <algorithm>
#include <sstream>

std::string KorvoDumptype::debugString() const {
    std::ostringstream out;
    out << "KorvoDumptype < " << static_cast<const void*>(this) << " >\n"
        << "&m_dump: " << static_cast<const void*>(m_dump) << "\n"
        << "m_header: " << m_header << "\n";
    return out.str();
}

std::size_t KorvoDumptype::eventCount() const {
    return m_dump->size();
}

std::size_t KorvoDumptype::eventLength(std::size_t index) const {
    return index < m_dump->size() ? (*m_dump)[index].size() : 0;
}

std::string_view KorvoDumptype::headerText(std::size_t index, std::size_t maxBytes) {
    if (index >= m_dump->size() || (*m_dump)[index].empty() || maxBytes == 0) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    const midi::event& message = (*m_dump)[index];
    const std::size_t n = std::min(message.size(), maxBytes);
    m_header.resize(3 * n - 1);
    for (std::size_t i = 0; i < n; ++i) {
        m_header[3 * i] = kDigits[message[i] >> 4];
        m_header[3 * i + 1] = kDigits[message[i] & 0x0F];
        if (i + 1 < n) {
            m_header[3 * i + 2] = ' ';
        }
    }
    return m_header;
}
