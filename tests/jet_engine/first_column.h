#pragma once
// The designations a search lists, as the grid would show them.

#include "jet_engine/engine.h"

#include <string>
#include <vector>

namespace jet_engine::testing_support {

// The non-null values of the first column, from the current row to the end
// or to the first failure.
inline std::vector<std::string> firstColumnToEnd(Recordset &rows)
{
    std::vector<std::string> values;
    for (auto atEnd = rows.eof(); atEnd.ok() && !atEnd.value(); atEnd = rows.eof()) {
        const auto value = rows.field(0);
        if (value.ok() && !value.value().isNull())
            values.emplace_back(value.value().text);
        if (rows.moveNext() != Status::Ok)
            break;
    }
    return values;
}

} // namespace jet_engine::testing_support
