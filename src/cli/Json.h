#pragma once

#include <string>

namespace cli {

// A JSON string: escaped, and valid UTF-8 whatever the file held.
std::string jsonString(const std::string& in);
// A number as JSON and the text listings show it: "0.3", "2".
std::string plainNumber(double value);

} // namespace cli
