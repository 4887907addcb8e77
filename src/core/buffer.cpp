#include "buffer.h"

#include <sstream>

std::string buffer::debugString() const {
    std::ostringstream out;
    out << "buffer < " << static_cast<const void*>(this) << " > ";
    return out.str();
}
