#pragma once

#include "DumpFile.h"
#include "core/Result.h"

#include <chrono>
#include <string>
#include <string_view>

// The name a received dump is given: "<dump type title> YYYY-MM-DD.mid", and the first such
// name that is free in a folder, so that a backup never replaces an older one.
namespace backupname {

// Names after "<name> 9999.mid" are not tried: a folder that full is an error.
inline constexpr int kMaxNumber = 9999;

// "STRATA 500 - Presets 2026-12-09.mid". Characters that a file name cannot hold here or on
// the FAT sticks and Windows shares backups are carried on (/ \ : * ? " < > | and control
// characters) become "_"; an empty title gives "untitled".
std::string proposed(std::string_view title, std::chrono::year_month_day day);
// The local date now.
std::chrono::year_month_day today();
// "<stem> <n><extension>" for n of 2 or more; the name itself for 1.
std::string numbered(const std::string& name, int n);
// The first of `name`, "<stem> 2<ext>", "<stem> 3<ext>", ... that nothing in `folder` has
// taken; `name` itself when every one is taken.
std::string firstFree(const std::string& folder, const std::string& name);
// Stores `contents` in `folder` under the first free one of those names, never replacing a
// file, not even one that appears meanwhile; the path written.
Result<std::string> storeAsNew(const std::string& folder, const std::string& name,
                               const dumpfile::Contents& contents);

} // namespace backupname
