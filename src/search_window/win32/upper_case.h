#pragma once
// The search text upper-cased as Windows does it, one UTF-16 unit to one,
// whatever the user's language: "i" stays "I" in Turkish too.

#include <string>
#include <string_view>

namespace search_window {

std::u16string upperCaseEachUnit(std::u16string_view text);

} // namespace search_window
