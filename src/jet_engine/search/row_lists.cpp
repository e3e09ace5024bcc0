#include "jet_engine/search/row_lists.h"

#include <algorithm>

namespace jet_engine {

namespace {

bool lessRoom(const RowList &a, const RowList &b) { return a.capacity() < b.capacity(); }

} // namespace

RowList RowLists::take(std::size_t rows)
{
    RowList list;
    {
        std::lock_guard lock(m_mutex);
        if (!m_free.empty()) {
            const auto most = std::max_element(m_free.begin(), m_free.end(), lessRoom);
            list = std::move(*most);
            m_free.erase(most);
        }
    }
    list.reserve(rows);
    return list;
}

void RowLists::give(RowList rows)
{
    if (rows.capacity() == 0)
        return;
    rows.clear();
    RowList dropped;
    std::lock_guard lock(m_mutex);
    if (m_free.size() < kept) {
        m_free.push_back(std::move(rows));
        return;
    }
    // Freed outside the lock.
    const auto least = std::min_element(m_free.begin(), m_free.end(), lessRoom);
    if (least->capacity() < rows.capacity())
        std::swap(*least, rows);
    dropped = std::move(rows);
}

std::shared_ptr<const RowList> RowLists::share(RowList rows)
{
    return std::shared_ptr<RowList>(new RowList(std::move(rows)), [lists = shared_from_this()](RowList *list) {
        lists->give(std::move(*list));
        delete list;
    });
}

} // namespace jet_engine
