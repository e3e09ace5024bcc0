#pragma once
// The search text's upper-casing. The engine compares one character with one
// character, so a search text must keep each character whole: simple case
// mapping, code point by code point, the same in every locale. "ß" and "ﬁ"
// stay as typed, "i" becomes "I" even under a Turkish locale, and the text
// keeps its length in UTF-16 units.

#include <string>
#include <string_view>

namespace search_window {

std::u16string upperCaseEachCharacter(std::u16string_view text);

} // namespace search_window
