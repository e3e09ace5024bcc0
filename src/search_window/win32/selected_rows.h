#pragma once
// The grid's selected rows as ranges, kept from the list view's own
// notifications: a virtual list view tells its owner of a change of one
// row, of every row at once and of a range, and never lists its selection,
// so copying a quarter of a million selected rows neither asks for them one
// by one nor walks the rows that are not selected.

#include <cstddef>
#include <vector>

namespace search_window {

class SelectedRows {
public:
    struct Range {
        std::size_t first; // inclusive
        std::size_t last;  // inclusive
    };

    void clear() { m_ranges.clear(); }
    // Rows 0 .. count - 1.
    void selectAll(std::size_t count);
    // Rows first .. last, both included.
    void set(std::size_t first, std::size_t last, bool selected);
    void set(std::size_t row, bool selected) { set(row, row, selected); }

    bool contains(std::size_t row) const;
    std::size_t count() const;
    // In order, neither overlapping nor touching.
    const std::vector<Range> &ranges() const { return m_ranges; }

private:
    std::vector<Range> m_ranges;
};

} // namespace search_window
