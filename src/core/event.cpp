#include "event.h"

#include <sstream>

namespace midi {

std::string event::debugString() const {
    std::ostringstream out;
    out << "midi::event < " << static_cast<const void*>(this) << " >\n"
        << "m_offset: " << m_offset << " ";
    return out.str();
}

} // namespace midi
