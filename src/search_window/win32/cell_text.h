#pragma once
// A cell's text as the grid shows it: text as stored, dates and numbers in
// the user's regional formats, the way the system's own conversion of a
// value to text gives them to a Windows user.

#include "jet_engine/field_value.h"

#include <string>
#include <string_view>

namespace search_window {

// The whole text.
std::wstring cellText(jet_engine::FieldValue::Kind kind, std::string_view text);

// Into `out`, cut to `room` units with the terminator, never between the two
// halves of a surrogate pair. Stored text is converted in place, without
// allocating, as the list view asks for each row it paints.
void cellText(jet_engine::FieldValue::Kind kind, std::string_view text, wchar_t *out, int room);

} // namespace search_window
