// Texts in the Qt-free suites: 16-bit ones written, compared and printed when a check fails;
// C strings (the row names) printed as text.
#pragma once

#include "printer_link/platform.h"

#include <doctest/doctest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace testing {

inline std::u16string Text(const char16_t *text)
{
    return text ? std::u16string(text) : std::u16string();
}

// Each byte becomes the unit of the same value, the way the printer layer widens device IDs.
using vornik::Widen;

// ASCII stays as it is; anything else is shown as \uXXXX, so a wrong unit is visible.
inline std::string Printable(std::u16string_view text)
{
    std::string out;
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out.push_back(static_cast<char>(unit));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    return out;
}

} // namespace testing

namespace doctest {
// Row names are plain C strings; doctest 2.4.9 would show their address in INFO and in a failed
// check instead of the text.
template<> struct StringMaker<const char *> {
    static String convert(const char *text) { return text ? text : "{null}"; }
};

template<> struct StringMaker<std::u16string> {
    static String convert(const std::u16string &text)
    {
        return ("u\"" + testing::Printable(text) + "\"").c_str();
    }
};
} // namespace doctest
