#pragma once

#include <functional>
#include <string>

// Writes a file so that it appears whole or not at all: `write` fills a temporary file beside
// the target (returning false when it could not), which is then flushed to the disk and moved
// over the target. Whatever stood at the target is untouched by a failure. A link is written
// through, to the file it names. False, with the reason in `error`, on failure.
bool writeFileAtomically(const std::string& path,
                         const std::function<bool(const std::string& temporary)>& write,
                         std::string* error);
