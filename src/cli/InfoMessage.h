#pragma once

#include "core/event.h"
#include "dumptypes/KorvoDumptype.h"

#include <ostream>
#include <string>

namespace cli {

// `info FILE --message N`: what the window's inspector shows of message `index` (the decoded
// header, the size and the pause, then every byte as a hex dump), or with `json` one object
// with "index", "size", "offset", "header" and "bytes". `index` must be in the dump.
void printMessage(std::ostream& out, const Dump& dump, const KorvoDumptype& type, std::size_t index,
                  bool json);

} // namespace cli
