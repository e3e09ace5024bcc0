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
    const std::size_t at = row - piece->first;
    return piece->run.size() != 0 ? piece->run[at] : piece->values[at];
}

void GridRows::resize(std::size_t count)
{
    if (count == 0) {
        m_pieces.clear();
        m_owners.clear();
        m_size = 0;
        return;
    }
    if (count > m_size) {
        Piece &blanks = singlesPiece();
        blanks.values.resize(blanks.values.size() + (count - m_size));
        m_size = count;
        return;
    }
    while (!m_pieces.empty() && m_pieces.back().first >= count)
        m_pieces.pop_back();
    Piece &last = m_pieces.back();
    const std::size_t kept = count - last.first;
    if (last.run.size() != 0)
        last.run = last.run.first(kept);
    else
        last.values.resize(kept);
    m_size = count;
}

void GridRows::append(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &owner)
{
    singlesPiece().values.push_back(value.text);
    ++m_size;
    m_kind = value.kind;
    if (owner && (m_owners.empty() || m_owners.back() != owner))
        m_owners.push_back(owner);
}

void GridRows::append(const jet_engine::FieldRun &run)
{
    m_kind = run.kind();
    if (run.size() == 0)
        return;
    m_pieces.push_back({m_size, run, {}});
    m_size += run.size();
}

GridRows::Piece &GridRows::singlesPiece()
{
    if (m_pieces.empty() || m_pieces.back().run.size() != 0)
        m_pieces.push_back({m_size, {}, {}});
    return m_pieces.back();
}

} // namespace search_window
