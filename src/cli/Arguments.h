#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// `text` as a whole number when it is 1 to `maxDigits` decimal digits and nothing else (no
// sign, no blank); nothing otherwise.
std::optional<unsigned long> wholeNumber(const std::string& text, std::size_t maxDigits);

// The words of one command line level: positional words and "--name value" / "--flag"
// options, checked against what the level accepts.
class Arguments {
public:
    // `withValue` and `flags` name the options this level accepts (without "--"). Short
    // aliases map to long names ("o" -> "output"). False, with the reason in error(), when
    // the words do not fit.
    bool parse(const std::vector<std::string>& words, const std::set<std::string>& withValue,
               const std::set<std::string>& flags,
               const std::map<std::string, std::string>& aliases = {});

    const std::vector<std::string>& positional() const { return m_positional; }
    std::optional<std::string> value(const std::string& name) const;
    bool flag(const std::string& name) const { return m_flags.contains(name); }
    const std::string& error() const { return m_error; }

private:
    std::vector<std::string> m_positional;
    std::map<std::string, std::string> m_values;
    std::set<std::string> m_flags;
    std::string m_error;
};
