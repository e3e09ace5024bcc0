#include "jet_engine/format/table_rows.h"

namespace jet_engine {

TableRows::TableRows(PageSource &pages, const FileFormat &format, const TableLayout &table, const CodePageText *jet3,
                     std::vector<unsigned> wanted, std::vector<std::uint32_t> dataPages, bool digestPages)
    : m_table(table)
    , m_wanted(std::move(wanted))
    , m_cursor(pages, format, table.definitionPage, std::move(dataPages), digestPages)
    , m_decoder(format, table, m_wanted)
    , m_longValues(pages, format)
    , m_values(m_longValues, TextDecoder(jet3))
    , m_fields(m_wanted.size())
{
}

RowCursor::Step TableRows::next()
{
    const RowCursor::Step step = m_cursor.next();
    if (step == RowCursor::Step::Row && !m_decoder.decode(m_cursor.row(), m_cursor.rowSize(), m_fields.data()))
        return RowCursor::Step::Damaged;
    return step;
}

bool TableRows::isNull(std::size_t i) const
{
    // A boolean is never null: its value lies in the null mask.
    return !m_fields[i].present && m_table.columns[m_wanted[i]].type != static_cast<std::uint8_t>(JetType::Boolean);
}

bool TableRows::append(std::size_t i, std::string &out)
{
    return m_values.append(m_table.columns[m_wanted[i]], m_fields[i], out);
}

} // namespace jet_engine
