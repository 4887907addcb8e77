#pragma once

#include "core/Result.h"

#include <cerrno>
#include <functional>
#include <string>

enum class Replace { existing, never };
// The Failure code of a write with Replace::never whose target is there already.
inline constexpr int kTargetExists = -EEXIST;

// Writes a file so that it appears whole or not at all: `write` fills a temporary file beside
// the target (returning false when it could not), which is then flushed to the disk and moved
// over the target. Whatever stood at the target is untouched by a failure. A link is written
// through, to the file it names; anything but a regular file there is refused, never
// replaced. A temporary file is removed when the program is ended by SIGINT, SIGTERM or
// SIGHUP while writing it (a signal that the program handles itself is left to it: see
// removeWriteUnderWay), and what a killed earlier run left beside the same target is removed
// by the next write. With Replace::never nothing that stands at the target (a link
// included), or appears there while writing, is replaced: the write fails with kTargetExists
// and leaves nothing behind.
Result<void> writeFileAtomically(const std::string& path,
                                 const std::function<bool(const std::string& temporary)>& write,
                                 Replace replace = Replace::existing);

// Removes the temporary file of the write under way, if any: for a program's own handling of
// a signal, when it ends the program in the middle of a write. True when it removed one (the
// write then fails); false when none was under way or it was in place already.
// Async-signal-safe.
[[nodiscard]] bool removeWriteUnderWay();

// Why a write to `path` would fail before any data is at stake (a folder that is missing or
// not writable, a target that is not a regular file); "" when it may be tried.
[[nodiscard]] std::string whyNotWritable(const std::string& path);
// Why no new file can be written in `folder`; "" when it may be tried.
[[nodiscard]] std::string whyFolderNotWritable(const std::string& folder);
