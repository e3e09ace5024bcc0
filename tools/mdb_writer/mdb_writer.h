#pragma once
// Writes Jet 4 (Access 2000-2003) or Jet 3 (Access 97) .mdb files for tests,
// benchmarks and the demo database; the program itself never writes. The
// files hold the MSysObjects catalog and the given tables, without indexes;
// rows are stored in the order given.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace mdb_writer {

enum class ColumnType { Text, Memo, LongInteger, Double, Boolean, Numeric };

struct Column {
    std::string name;
    ColumnType type = ColumnType::Text;
    int textLength = 255; // characters, for Text columns (1..255)
    // A column dropped after the rows were written, as Access leaves it: the
    // rows keep its values and its number stays taken, but the definition no
    // longer lists it, so readers must find the other columns by their
    // recorded numbers rather than by their positions.
    bool deleted = false;
    // Numeric columns: digits in all (1 to 28), and of those, digits after
    // the decimal point (0 to precision). Jet 3 files take them too, though
    // Access 97 never made such a column.
    int precision = 18;
    int scale = 0;
};

struct Null {};
// A Numeric value as decimal text: an optional '-', digits, and optionally a
// '.' and more digits ("-1234.5"). At most the column's scale of digits
// after the point, and its precision less its scale before it.
struct Decimal {
    std::string text;
};
// Text cells are UTF-8; a Text column takes at most textLength UTF-16 units
// (a character beyond the BMP counts twice) in Jet 4, textLength bytes of
// Windows-1252 in Jet 3. Jet keeps a boolean in the row's null mask, so a
// boolean cannot be null: Null there is written as false.
using Cell = std::variant<Null, std::string, std::int32_t, double, bool, Decimal>;
using Row = std::vector<Cell>;

struct Table {
    std::string name;
    std::vector<Column> columns;
    // Either rows, or rowCount + a generator that fills one row at a time
    // (for a million rows without holding them all). The generator gets a
    // row of columns.size() Null cells for each index, in order.
    std::vector<Row> rows;
    std::size_t rowCount = 0;
    std::function<void(std::size_t index, Row &row)> generate;

    // Row shapes an edited file holds, by row index; a fresh write has none.
    // Deleted rows keep their bytes in place, their entry flagged deleted.
    std::set<std::size_t> deletedRows;
    // Moved rows grew too large for their page: their entry holds a pointer
    // to the data, which lies on another page of the table.
    std::set<std::size_t> movedRows;
    // A moved row whose pointer leads past the end of the file, as in a
    // damaged file; its data is written nowhere.
    std::optional<std::size_t> strayPointerRow;
};

// Jet 3 has 2 KB pages and keeps text in Windows-1252, so every character
// written must exist there (no Ω, no 中); Jet 4 takes any text.
enum class Format { Jet4, Jet3 };

// Returns an empty string on success, else what went wrong. The file appears
// at `path` only once complete; on failure a file already there is left as it
// was. Exceptions thrown by a generator are reported the same way.
std::string writeDatabase(const std::string &path, const std::vector<Table> &tables, Format format);
std::string writeDatabase(const std::string &path, const std::vector<Table> &tables);

} // namespace mdb_writer
