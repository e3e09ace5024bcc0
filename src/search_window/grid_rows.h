#pragma once
// The grid's data rows: views into the engine's result snapshots, kept alive
// by their owners, so a search of a million rows neither copies nor converts
// text; a window turns into its toolkit's strings only the rows it paints.
// A whole answer arrives as one run of the engine's own row numbers, a
// single value (a test's rows) alone.

#include "jet_engine/field_run.h"
#include "jet_engine/field_value.h"

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace search_window {

class GridRows {
public:
    std::size_t size() const { return m_size; }
    std::string_view operator[](std::size_t row) const;
    // The kind of the values added last: a listing is one column's.
    jet_engine::FieldValue::Kind kind() const { return m_kind; }

    // Rows past the end become empty text.
    void resize(std::size_t count);
    void append(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &owner);
    void append(const jet_engine::FieldRun &run);

private:
    // Consecutive rows from one run (never empty), or else rows up to the
    // next piece that all show `value`: one added alone, or blanks the grid
    // grew by. `first` is the piece's first row in the grid.
    struct Piece {
        std::size_t first = 0;
        jet_engine::FieldRun run;
        std::string_view value;
        std::shared_ptr<const void> owner;
    };

    std::vector<Piece> m_pieces;
    std::size_t m_size = 0;
    jet_engine::FieldValue::Kind m_kind = jet_engine::FieldValue::Kind::Text;
};

} // namespace search_window
