#pragma once
// Comparisons that ignore the case of ASCII letters only, as Windows names, options and markers need; bytes
// and characters outside A-Z compare as they are.
#include <cstddef>
#include <string>

template <typename C>
constexpr C AsciiLower(C c) {
    return (c >= C('A') && c <= C('Z')) ? C(c + ('a' - 'A')) : c;
}

template <typename C>
bool AsciiEqualsNoCase(const std::basic_string<C>& a, const std::basic_string<C>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

template <typename C>
bool AsciiStartsWithNoCase(const std::basic_string<C>& text, const std::basic_string<C>& prefix) {
    return text.size() >= prefix.size() && AsciiEqualsNoCase(text.substr(0, prefix.size()), prefix);
}

template <typename C>
std::size_t AsciiFindNoCase(const std::basic_string<C>& text, const std::basic_string<C>& what) {
    if (what.size() > text.size()) return std::basic_string<C>::npos;
    for (std::size_t i = 0; i + what.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < what.size() && AsciiLower(text[i + k]) == AsciiLower(what[k])) ++k;
        if (k == what.size()) return i;
    }
    return std::basic_string<C>::npos;
}
