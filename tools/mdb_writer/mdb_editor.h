#pragma once
// Edits a file the writer wrote, in place, the way Access edits a database
// that other programs are reading: through one read-write handle, shared
// with every reader and writer and held for the editor's whole life, writing
// only the pages an edit changes, each in one write. For tests and
// benchmarks of readers that must notice such edits, even when the file's
// size and times stay as they were.
//
// Rows are addressed by their position among the rows readers list, in
// Jet's order: the table's data pages as its usage map names them, each
// page's rows in entry order, a moved row at its home entry; moved rows'
// data and deleted rows are passed over. Finding a row reads the data pages
// up to it, one at a time; the file is never read whole.
//
// Each edit returns an empty string on success, else what went wrong; an
// edit refused leaves the file's bytes as they were.

#include "mdb_writer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mdb_writer {

// Kept: the edit puts the file's last write and last access times back as
// they were before it (to the nanosecond where the system keeps them so),
// as Windows shows them while the program that wrote still holds the file.
enum class Times { Updated, Kept };

class Editor {
public:
    Editor();
    ~Editor();
    Editor(const Editor &) = delete;
    Editor &operator=(const Editor &) = delete;

    // A Jet 4 or Jet 3 file the writer wrote. Closes any file held before.
    std::string open(const std::string &path);
    void close();

    // Sets a Text cell of a row. The row keeps its place when the page it
    // lies on has room for it as rewritten: the rows stored after it on that
    // page move so that the page stays packed, and only that page is
    // written. Otherwise the row overflows: its home entry becomes a pointer
    // (flag 0x4000) to its data, which goes, flagged 0x8000, to the table's
    // last data page if that page already holds moved data and has room,
    // else to a page appended to the file and marked in the table's usage
    // map. Then the home page, the page taking the data and, for a new page,
    // the page holding the usage map's mark (the map row's holder page, or
    // a bitmap page) are written; a row that was already moved also has its
    // former data flagged deleted (0xC000) on its page.
    std::string setText(const std::string &table, std::size_t row, const std::string &column,
                        const std::string &text, Times times = Times::Updated);

    // Appends a page holding `row` (a cell per column, in the table's
    // order), marks it in the table's usage map, and counts the row in the
    // table's definition: writes the new page (and, before it, new pages
    // for long memo values), the page holding the usage map's mark, and the
    // definition's first page. Refused for a table with deleted columns,
    // and when the usage map cannot name the new page.
    std::string addRow(const std::string &table, const Row &row, Times times = Times::Updated);

    // Flags the row's home entry deleted (0xC000), leaving its bytes, and
    // uncounts it in the definition: writes the home page and the
    // definition's first page.
    std::string deleteRow(const std::string &table, std::size_t row, Times times = Times::Updated);

    // Writes `bytes` at `offset` in `page`, in one write, and nothing else:
    // half of a page's new bytes make the torn page a reader may meet while
    // Access writes.
    std::string writeBytes(std::uint32_t page, std::uint32_t offset, const std::vector<std::uint8_t> &bytes,
                           Times times = Times::Updated);

private:
    struct Held;
    std::unique_ptr<Held> m_held;
};

} // namespace mdb_writer
