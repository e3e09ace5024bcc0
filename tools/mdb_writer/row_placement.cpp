#include "row_placement.h"

#include <string>

namespace mdb_writer::detail {

namespace {

class Placement {
public:
    Placement(const JetVersion &version, PageFile &file, TableLayout &t)
        : m_file(file), m_t(t), m_home(version), m_moved(version)
    {
        const std::uint32_t owner = t.definitionPages.front();
        for (int i = 0; i < 4; ++i)
            m_owner[i] = static_cast<std::uint8_t>(owner >> (8 * i));
    }

    void plain(const std::vector<std::uint8_t> &bytes, std::uint16_t flags)
    {
        room(m_home, bytes.size());
        m_home.add(bytes.data(), bytes.size(), flags);
    }

    // Moved data share pages of their own, which a scan of the table meets
    // before or after the rows around the moved row's home.
    void moved(const std::vector<std::uint8_t> &bytes)
    {
        room(m_moved, bytes.size());
        const std::uint32_t row = m_moved.add(bytes.data(), bytes.size(), kRowDeleted);
        pointer(pageRow(m_moved.number(), row));
    }

    void pointer(std::uint32_t where)
    {
        std::uint8_t bytes[4];
        put32(bytes, where);
        room(m_home, sizeof bytes);
        m_home.add(bytes, sizeof bytes, kRowMoved);
    }

    void finish()
    {
        for (RowPage *page : {&m_home, &m_moved})
            if (page->open())
                page->finish(m_file);
    }

private:
    void room(RowPage &page, std::size_t bytes)
    {
        if (page.fits(bytes))
            return;
        if (page.open())
            page.finish(m_file);
        page.start(m_file.allocate(), m_owner);
        m_t.dataPages.push_back(page.number());
    }

    PageFile &m_file;
    TableLayout &m_t;
    std::uint8_t m_owner[4] = {};
    RowPage m_home;
    RowPage m_moved;
};

} // namespace

void writeRows(const JetVersion &version, PageFile &file, RowEncoder &encoder, TableLayout &t, const Table &table)
{
    const std::size_t count = table.generate ? table.rowCount : table.rows.size();
    if (count > 0x7FFFFFFF)
        throw WriteError("table \"" + t.name + "\" has too many rows");
    for (const std::set<std::size_t> *rows : {&table.deletedRows, &table.movedRows})
        if (!rows->empty() && *rows->rbegin() >= count)
            throw WriteError("table \"" + t.name + "\" names a row it does not have");
    if (table.strayPointerRow && *table.strayPointerRow >= count)
        throw WriteError("table \"" + t.name + "\" names a row it does not have");

    Placement place(version, file, t);
    Row generated;
    std::uint32_t visible = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Row *row = &generated;
        if (table.generate) {
            generated.assign(t.columns.size(), Null{});
            table.generate(i, generated);
        } else {
            row = &table.rows[i];
        }
        if (row->size() != t.columns.size()) {
            throw WriteError("table \"" + t.name + "\", row " + std::to_string(i) + ": "
                             + std::to_string(row->size()) + " cells for " + std::to_string(t.columns.size())
                             + " columns");
        }
        const std::vector<std::uint8_t> &bytes = encoder.encode(t, *row, i);
        if (bytes.size() > version.maxRowBytes()) {
            throw WriteError("table \"" + t.name + "\", row " + std::to_string(i) + " takes "
                             + std::to_string(bytes.size()) + " bytes; a row holds at most "
                             + std::to_string(version.maxRowBytes()));
        }
        // A deleted row stays in place, whatever else it was.
        const bool deleted = table.deletedRows.count(i) != 0;
        if (deleted)
            place.plain(bytes, kRowDeleted | kRowMoved);
        else if (table.strayPointerRow == i)
            place.pointer(pageRow(kMaxPages, 0));
        else if (table.movedRows.count(i) != 0)
            place.moved(bytes);
        else
            place.plain(bytes, 0);
        if (!deleted)
            ++visible;
    }
    place.finish();
    t.rowCount = visible;
}

} // namespace mdb_writer::detail
