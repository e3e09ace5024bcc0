#include "search_window/grid_rows.h"

#include <algorithm>

namespace search_window {

std::string_view GridRows::operator[](std::size_t row) const
{
    // Nearly always one piece: the answer's run.
    const Piece *piece = &m_pieces.front();
    if (m_pieces.size() > 1)
        piece = &*(std::upper_bound(m_pieces.begin(), m_pieces.end(), row,
                                    [](std::size_t r, const Piece &p) { return r < p.first; })
                   - 1);
    return piece->run.size() != 0 ? piece->run[row - piece->first] : piece->value;
}

void GridRows::resize(std::size_t count)
{
    if (count > m_size) {
        m_pieces.push_back({m_size, {}, {}, {}});
        m_size = count;
        return;
    }
    while (!m_pieces.empty() && m_pieces.back().first >= count)
        m_pieces.pop_back();
    if (!m_pieces.empty() && m_pieces.back().run.size() != 0)
        m_pieces.back().run = m_pieces.back().run.first(count - m_pieces.back().first);
    m_size = count;
}

void GridRows::append(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &owner)
{
    m_pieces.push_back({m_size, {}, value.text, owner});
    ++m_size;
    m_kind = value.kind;
}

void GridRows::append(const jet_engine::FieldRun &run)
{
    m_kind = run.kind();
    if (run.size() == 0)
        return;
    m_pieces.push_back({m_size, run, {}, {}});
    m_size += run.size();
}

} // namespace search_window
