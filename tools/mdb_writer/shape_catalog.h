#pragma once
// Tables in every row shape an Access-made file can hold: moved (overflow)
// rows, deleted rows, deleted columns (more variable slots in the rows than
// columns left), long memos over chains of long-value pages, long and wide
// rows, tables that need a usage map of bitmap pages, numeric columns.
// Writer tests, the engine's differential tests and the fuzz seeds share them.

#include "mdb_writer.h"

#include <cstddef>
#include <string>
#include <vector>

namespace mdb_writer::shapes {

struct Shape {
    std::string name;
    // One table; its first column is N, the row's index as written, so a
    // row can be told apart from the others whatever order it comes in.
    Table table;
    // A moved row's pointer leads outside the file: readers may fail.
    bool damaged = false;
};

// The shapes' names, the same for both formats; cheap, unlike the shapes.
std::vector<std::string> names();
// One shape; Jet 3 texts stay within Windows-1252. Throws for an unknown name.
Shape shape(const std::string &name, Format format);
std::vector<Shape> catalog(Format format);

// What a reader should show: the table's columns and rows without the
// deleted ones, in stored order, moved rows at their home position.
struct Visible {
    std::vector<Column> columns;
    std::vector<Row> rows;
    // Per visible row: whether its data lies elsewhere (moved).
    std::vector<bool> moved;
};
Visible visible(const Table &table);

// A numeric value from the digits of its magnitude times 10^scale:
// decimal("12345", 2, true) is -123.45.
Decimal decimal(const std::string &magnitude, int scale, bool negative);
// The value as readers show it in a column of `scale`: no leading zeros but
// one before the point, exactly `scale` digits after it, no sign on zero.
std::string decimalText(const Decimal &value, int scale);

// The longest text or memo value of the table, in UTF-8 bytes.
std::size_t longestText(const Table &table);

} // namespace mdb_writer::shapes
