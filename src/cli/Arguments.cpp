#include "Arguments.h"

#include <algorithm>
#include <cctype>

std::optional<unsigned long> wholeNumber(const std::string& text, std::size_t maxDigits) {
    const bool digits =
        !text.empty() && text.size() <= maxDigits &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!digits) {
        return std::nullopt;
    }
    return std::stoul(text);
}

bool Arguments::parse(const std::vector<std::string>& words, const std::set<std::string>& withValue,
                      const std::set<std::string>& flags,
                      const std::map<std::string, std::string>& aliases) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        std::string name;
        if (word == "--") { // everything after it is a name, even "-dash.syx"
            m_positional.insert(m_positional.end(),
                                words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
            return true;
        }
        if (word.starts_with("--") && word.size() > 2) {
            name = word.substr(2);
        } else if (word.starts_with("-") && word.size() > 1) {
            const auto alias = aliases.find(word.substr(1));
            if (alias == aliases.end()) {
                m_error = "unknown option " + word;
                return false;
            }
            name = alias->second;
        } else {
            m_positional.push_back(word);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (withValue.contains(name)) {
            if (inlineValue) {
                m_values[name] = *inlineValue;
            } else if (i + 1 < words.size()) {
                m_values[name] = words[++i];
            } else {
                m_error = "option --" + name + " needs a value";
                return false;
            }
        } else if (flags.contains(name) && !inlineValue) {
            m_flags.insert(name);
        } else {
            m_error = "unknown option --" + name;
            return false;
        }
    }
    return true;
}

std::optional<std::string> Arguments::value(const std::string& name) const {
    const auto it = m_values.find(name);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return it->second;
}
