#pragma once
// A test's UTF-8 text (a path, an argument) for the system's UTF-16
// functions, on Windows.

#include "jet_engine/text/unicode_text.h"

#include <stdexcept>
#include <string>

namespace test_support {

// Throws std::invalid_argument for text that is not UTF-8.
inline std::wstring wide(const std::string &utf8)
{
    std::u16string units;
    if (!jet_engine::utf8ToUtf16(utf8, units))
        throw std::invalid_argument("not UTF-8: " + utf8);
    return std::wstring(units.begin(), units.end());
}

} // namespace test_support
