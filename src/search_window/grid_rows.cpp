#include "search_window/grid_rows.h"

namespace search_window {

void GridRows::resize(std::size_t count)
{
    m_rows.resize(count);
    if (count == 0)
        m_owners.clear();
}

void GridRows::append(const article_database::FieldValue &value, const std::shared_ptr<const void> &owner)
{
    m_rows.push_back(value.text);
    m_kind = value.kind;
    if (owner && (m_owners.empty() || m_owners.back() != owner))
        m_owners.push_back(owner);
}

} // namespace search_window
