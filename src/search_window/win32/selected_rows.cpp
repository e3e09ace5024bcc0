#include "search_window/win32/selected_rows.h"

#include <algorithm>

namespace search_window {

void SelectedRows::selectAll(std::size_t count)
{
    m_ranges.clear();
    if (count > 0)
        m_ranges.push_back({0, count - 1});
}

void SelectedRows::set(std::size_t first, std::size_t last, bool selected)
{
    if (first > last)
        std::swap(first, last);
    // The ranges that overlap or touch [first, last] are cut out; what they
    // hold outside it stays, and the new range joins its neighbours.
    const auto from = std::lower_bound(m_ranges.begin(), m_ranges.end(), first,
                                       [](const Range &r, std::size_t row) { return row > 0 && r.last < row - 1; });
    auto to = from;
    std::vector<Range> kept;
    Range joined{first, last};
    for (; to != m_ranges.end() && (to->first == 0 || to->first - 1 <= last); ++to) {
        if (to->first < first)
            kept.push_back({to->first, first - 1});
        if (to->last > last)
            kept.push_back({last + 1, to->last});
        joined.first = std::min(joined.first, to->first);
        joined.last = std::max(joined.last, to->last);
    }
    if (selected)
        kept = {joined};
    const auto at = m_ranges.erase(from, to);
    m_ranges.insert(at, kept.begin(), kept.end());
}

bool SelectedRows::contains(std::size_t row) const
{
    const auto at = std::lower_bound(m_ranges.begin(), m_ranges.end(), row,
                                     [](const Range &r, std::size_t value) { return r.last < value; });
    return at != m_ranges.end() && at->first <= row;
}

std::size_t SelectedRows::count() const
{
    std::size_t rows = 0;
    for (const Range &range : m_ranges)
        rows += range.last - range.first + 1;
    return rows;
}

} // namespace search_window
