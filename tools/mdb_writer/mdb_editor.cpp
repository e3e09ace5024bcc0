#include "mdb_editor.h"

#include "file_pages.h"
#include "held_file.h"
#include "jet_text.h"
#include "page_writes.h"
#include "row_encoder.h"
#include "row_tail.h"
#include "stored_table.h"
#include "usage_map_edit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <functional>

namespace mdb_writer {

using namespace detail;

namespace {

using Edit = std::function<void(FilePages &, PageWrites &)>;

constexpr std::uint32_t kVersionAt = 0x14;

const JetVersion &versionOf(HeldFile &file)
{
    std::uint8_t head[kVersionAt + 4];
    if (file.size() < sizeof head)
        throw WriteError("the file is too short for a Jet header");
    file.read(0, head, sizeof head);
    if (std::memcmp(head + 4, "Standard Jet DB", 15) != 0)
        throw WriteError("the file is not a Jet database");
    switch (jet_engine::le32(head + kVersionAt)) {
    case 0:
        return kJet3;
    case 1:
        return kJet4;
    default:
        throw WriteError("the file is of a Jet version the writer never writes");
    }
}

template <typename Attempt>
std::string attempt(Attempt &&what)
{
    try {
        what();
        return {};
    } catch (const std::exception &e) {
        return e.what();
    }
}

// The value's stored bytes, as the writer stores a Text cell.
std::vector<std::uint8_t> textBytes(const JetVersion &version, const ColumnLayout &c, const std::string &text)
{
    std::u16string units;
    std::vector<std::uint8_t> out;
    if (!jet_text::toUtf16(text, units))
        throw WriteError("the text is not valid UTF-8");
    if (units.size() > static_cast<std::size_t>(c.maxChars))
        throw WriteError(std::to_string(units.size()) + " UTF-16 units in column \"" + c.name + "\" of "
                         + std::to_string(c.maxChars) + " characters");
    if (!version.jet3)
        jet_text::appendJet4(units, true, out);
    else if (!jet_text::appendCp1252(units, out))
        throw WriteError("the text has characters Windows-1252 lacks");
    return out;
}

// The row with `value` in place of column `c`'s.
std::vector<std::uint8_t> withValue(const JetVersion &version, const std::uint8_t *row, std::size_t size,
                                    const ColumnLayout &c, const std::vector<std::uint8_t> &value)
{
    const std::optional<RowParts> parts = splitRow(version, row, size);
    if (!parts)
        throw WriteError("the row does not hold together");
    const std::vector<std::uint32_t> &bounds = parts->bounds;
    if (c.number >= parts->columnCount || c.varIndex + 1u >= bounds.size())
        throw WriteError("the row has no place for column \"" + c.name + "\"");
    std::vector<std::uint8_t> out(row, row + bounds.front());
    std::vector<std::uint16_t> starts;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        starts.push_back(static_cast<std::uint16_t>(out.size()));
        if (i == c.varIndex)
            out.insert(out.end(), value.begin(), value.end());
        else
            out.insert(out.end(), row + bounds[i], row + bounds[i + 1]);
    }
    std::vector<std::uint8_t> nullMask(row + parts->nullMaskAt, row + size);
    nullMask[c.number / 8] = static_cast<std::uint8_t>(nullMask[c.number / 8] | (1u << (c.number % 8)));
    if (!appendRowTail(version, starts, nullMask, out))
        throw WriteError("too many variable columns to lay out in Jet 3");
    if (out.size() > version.maxRowBytes())
        throw WriteError("the row would take " + std::to_string(out.size()) + " bytes; a row holds at most "
                         + std::to_string(version.maxRowBytes()));
    return out;
}

void countRows(FilePages &pages, const StoredTable &t, std::int64_t change, PageWrites &writes)
{
    const std::int64_t count = std::int64_t{t.layout.rowCount} + change;
    if (count < 0 || count > 0x7FFFFFFF)
        throw WriteError("the definition of table \"" + t.layout.name + "\" counts "
                         + std::to_string(t.layout.rowCount) + " rows");
    std::array<std::uint8_t, kMaxPageSize> page;
    pages.read(t.definitionPage, page.data());
    put32(&page[t.rowCountAt], static_cast<std::uint32_t>(count));
    writes.write(t.definitionPage, page.data());
}

std::uint32_t newPage(FilePages &pages, const StoredTable &t, PageWrites &writes)
{
    const std::uint32_t number = writes.allocate();
    markUsed(pages, t.layout.usageMap, number, writes);
    return number;
}

bool holdsMovedData(const DataPage &page)
{
    for (std::uint32_t r = 0; r < page.rows(); ++r) {
        if (page.flags(r) == kRowDeleted)
            return true;
    }
    return false;
}

// Where a row's data goes when its own page has no room for it: the page
// moved data went to last, as long as it has room, else a new page.
RowAt placeMoved(FilePages &pages, const StoredTable &t, std::uint32_t home, const std::vector<std::uint8_t> &bytes,
                 PageWrites &writes)
{
    const std::uint32_t owner = t.definitionPage;
    const std::vector<std::uint32_t> used = usedPages(pages, t.layout.usageMap);
    if (!used.empty() && used.back() != home) {
        DataPage last = pages.rowPage(used.back(), owner);
        if (holdsMovedData(last)) {
            if (const auto entry = last.add(bytes.data(), bytes.size(), kRowDeleted)) {
                writes.write(used.back(), last.bytes());
                return {used.back(), *entry};
            }
        }
    }
    const std::uint32_t number = newPage(pages, t, writes);
    DataPage fresh(pages.version(), owner);
    const std::uint32_t entry = *fresh.add(bytes.data(), bytes.size(), kRowDeleted);
    writes.write(number, fresh.bytes());
    return {number, entry};
}

FoundRow existingRow(FilePages &pages, const StoredTable &t, std::size_t row)
{
    const std::optional<FoundRow> found = findRow(pages, t, row);
    if (!found)
        throw WriteError("table \"" + t.layout.name + "\" has no row " + std::to_string(row));
    return *found;
}

} // namespace

struct Editor::Held {
    explicit Held(const std::string &path) : file(path), version(versionOf(file)) {}

    // Times are put back even after a refusal: finding out may have read the file.
    std::string run(Times times, const Edit &edit)
    {
        HeldFile::Times before;
        if (times == Times::Kept) {
            if (std::string error = attempt([&] { before = file.times(); }); !error.empty())
                return error;
        }
        std::string error = attempt([&] {
            FilePages pages(file, version);
            PageWrites writes(version.pageSize, pages.count());
            edit(pages, writes);
            writes.commit(file);
        });
        if (times == Times::Kept) {
            const std::string restoring = attempt([&] { file.setTimes(before); });
            if (error.empty())
                error = restoring;
        }
        return error;
    }

    HeldFile file;
    const JetVersion &version;
};

Editor::Editor() = default;
Editor::~Editor() = default;

std::string Editor::open(const std::string &path)
{
    m_held.reset();
    return attempt([&] { m_held = std::make_unique<Held>(path); });
}

void Editor::close()
{
    m_held.reset();
}

std::string Editor::setText(const std::string &table, std::size_t row, const std::string &column,
                            const std::string &text, Times times)
{
    if (!m_held)
        return "no file is open";
    return m_held->run(times, [&](FilePages &pages, PageWrites &writes) {
        const JetVersion &version = pages.version();
        const StoredTable t = findTable(pages, table);
        const ColumnLayout &c = findColumn(t, column);
        if (c.type != JetText || c.fixed)
            throw WriteError("column \"" + c.name + "\" of table \"" + t.layout.name + "\" is not a Text column");
        const std::vector<std::uint8_t> value = textBytes(version, c, text);
        const FoundRow found = existingRow(pages, t, row);
        const std::uint32_t owner = t.definitionPage;

        DataPage data = pages.rowPage(found.data.page, owner);
        const DataPage::Span span = data.row(found.data.entry);
        const std::vector<std::uint8_t> bytes = withValue(version, data.bytes() + span.start, span.size, c, value);
        if (data.replace(found.data.entry, bytes.data(), bytes.size(), data.flags(found.data.entry))) {
            writes.write(found.data.page, data.bytes());
            return;
        }
        const RowAt moved = placeMoved(pages, t, found.home.page, bytes, writes);
        std::uint8_t pointer[4];
        put32(pointer, pageRow(moved.page, moved.entry));
        DataPage home = found.moved ? pages.rowPage(found.home.page, owner) : data;
        if (!home.replace(found.home.entry, pointer, sizeof pointer, kRowMoved))
            throw WriteError("page " + std::to_string(found.home.page) + " has no room for a moved row's pointer");
        writes.write(found.home.page, home.bytes());
        if (found.moved) {
            data.setFlags(found.data.entry, kRowDeleted | kRowMoved);
            writes.write(found.data.page, data.bytes());
        }
    });
}

std::string Editor::addRow(const std::string &table, const Row &row, Times times)
{
    if (!m_held)
        return "no file is open";
    return m_held->run(times, [&](FilePages &pages, PageWrites &writes) {
        const StoredTable t = findTable(pages, table);
        const std::vector<ColumnLayout> &columns = t.layout.columns;
        bool deletedColumns = t.numberedColumns != columns.size();
        for (std::size_t i = 0; i < columns.size(); ++i)
            deletedColumns = deletedColumns || columns[i].number != i;
        if (deletedColumns)
            throw WriteError("table \"" + t.layout.name + "\" has deleted columns, which rows added here lack");
        if (row.size() != columns.size())
            throw WriteError(std::to_string(row.size()) + " cells for the " + std::to_string(columns.size())
                             + " columns of table \"" + t.layout.name + "\"");
        RowEncoder encoder(pages.version(), writes);
        const std::vector<std::uint8_t> bytes = encoder.encode(t.layout, row, t.layout.rowCount);
        encoder.finish();
        if (bytes.size() > pages.version().maxRowBytes())
            throw WriteError("the row takes " + std::to_string(bytes.size()) + " bytes; a row holds at most "
                             + std::to_string(pages.version().maxRowBytes()));
        const std::uint32_t number = newPage(pages, t, writes);
        DataPage page(pages.version(), t.definitionPage);
        page.add(bytes.data(), bytes.size(), 0);
        writes.write(number, page.bytes());
        countRows(pages, t, +1, writes);
    });
}

std::string Editor::deleteRow(const std::string &table, std::size_t row, Times times)
{
    if (!m_held)
        return "no file is open";
    return m_held->run(times, [&](FilePages &pages, PageWrites &writes) {
        const StoredTable t = findTable(pages, table);
        const FoundRow found = existingRow(pages, t, row);
        DataPage home = pages.rowPage(found.home.page, t.definitionPage);
        home.setFlags(found.home.entry, kRowDeleted | kRowMoved);
        writes.write(found.home.page, home.bytes());
        countRows(pages, t, -1, writes);
    });
}

std::string Editor::writeBytes(std::uint32_t page, std::uint32_t offset, const std::vector<std::uint8_t> &bytes,
                               Times times)
{
    if (!m_held)
        return "no file is open";
    return m_held->run(times, [&](FilePages &pages, PageWrites &) {
        const std::uint32_t pageSize = pages.version().pageSize;
        if (page >= pages.count())
            throw WriteError("page " + std::to_string(page) + " lies beyond the file's " + std::to_string(pages.count())
                             + " pages");
        if (offset > pageSize || bytes.size() > pageSize - offset)
            throw WriteError(std::to_string(bytes.size()) + " bytes at offset " + std::to_string(offset)
                             + " run past the end of a page of " + std::to_string(pageSize));
        pages.file().write(std::uint64_t{page} * pageSize + offset, bytes.data(), bytes.size());
    });
}

} // namespace mdb_writer
