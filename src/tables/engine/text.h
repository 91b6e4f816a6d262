// Small ASCII text helpers shared by the engine's parsers: field and table names, keywords and
// function names are ASCII and compared without regard to case.
#pragma once

#include <strings.h>
#include <string>
#include <string_view>

namespace pulpex::engine {

inline bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

inline std::string upperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

// Without leading and trailing blanks and tabs.
inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool isIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool isIdentChar(char c) {
    return isIdentStart(c) || isDigit(c);
}

}  // namespace pulpex::engine
