#pragma once

#include <string_view>

namespace jet_engine {

// One field of the current row. The text is the value's display form (UTF-8:
// text as stored, integers as plain digits, ...); it stays valid as long as
// `storage` (or the result set it came from) is alive.
struct FieldValue {
    // What the text was: a window shows non-text kinds in the user's formats.
    enum class Kind { Null, Text, Integer, Double, Single, Numeric, Boolean, Currency, DateTime };
    Kind kind = Kind::Null;
    std::string_view text;
    bool isNull() const { return kind == Kind::Null; }
};

} // namespace jet_engine
