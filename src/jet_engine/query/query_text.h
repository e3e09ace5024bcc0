#pragma once
// Reads what a caller hands to OpenRecordset: a table name, bare or in
// brackets, or the one query form the search builds,
//   SELECT * FROM table [WHERE column LIKE 'pattern']
// with keywords in any letter case. Names come back without brackets,
// literals with their doubled quotes collapsed; both UTF-8.
//
// Text led by another statement's keyword (DELETE, UPDATE, DROP, ...) and
// more words, or holding a second statement after a semicolon, is refused as
// UnsupportedQuery rather than looked up as a table: a table whose name
// starts with such a word must be written in brackets. A bare name holding a
// character Jet never allows in one (. ! ` [ ] or a control character) is a
// syntax error.

#include "jet_engine/status.h"

#include <optional>
#include <string>
#include <string_view>

namespace jet_engine {

struct QueryText {
    struct Condition {
        std::string column;
        std::string pattern;
    };
    std::string table;
    std::optional<Condition> condition;
};

Outcome<QueryText> parseQueryText(std::u16string_view text);

} // namespace jet_engine
