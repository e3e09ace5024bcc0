#pragma once
// The grid's data rows: UTF-8 views into the engine's result snapshots, kept
// alive by their owners, so a search of a million rows neither copies nor
// converts text; a window turns into its toolkit's strings only the rows it
// paints.

#include "article_database/field_value.h"

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace search_window {

class GridRows {
public:
    std::size_t size() const { return m_rows.size(); }
    std::string_view operator[](std::size_t row) const { return m_rows[row]; }
    // The kind of the values added last: a listing is one column's.
    article_database::FieldValue::Kind kind() const { return m_kind; }

    // Rows past the end become empty text.
    void resize(std::size_t count);
    void append(const article_database::FieldValue &value, const std::shared_ptr<const void> &owner);

private:
    std::vector<std::string_view> m_rows;
    article_database::FieldValue::Kind m_kind = article_database::FieldValue::Kind::Text;
    // Consecutive rows almost always share one owner, so only changes are kept.
    std::vector<std::shared_ptr<const void>> m_owners;
};

} // namespace search_window
