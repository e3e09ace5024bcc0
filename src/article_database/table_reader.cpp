#include "table_reader.h"

#include "huge_pages.h"
#include "long_value.h"
#include "row_cursor.h"
#include "row_decoder.h"
#include "usage_map.h"
#include "value_decode.h"

#include <algorithm>
#include <limits>

namespace article_database {

namespace {

constexpr std::uint64_t maxRows = std::numeric_limits<std::uint32_t>::max() - 1;
// How many rows between two looks at the cancel flag.
constexpr std::uint32_t cancelStride = 4096;

void reserveColumn(ColumnValues &values, const ColumnLayout &column, std::size_t rows, std::uint64_t fileSize)
{
    values.kind = kindOf(column.type);
    reserveHuge(values.offsets, rows + 1);
    reserveHuge(values.nulls, rows);
    // Room for every value at its longest display form, within what the
    // file could hold, so that the text is never copied to grow.
    const std::uint64_t longest = column.type == static_cast<std::uint8_t>(JetType::Text)
        ? 2 * static_cast<std::uint64_t>(column.size)
        : (values.kind == FieldValue::Kind::Text ? 0 : 32);
    reserveHuge(values.text, static_cast<std::size_t>(std::min<std::uint64_t>(rows * longest, 2 * fileSize)));
}

} // namespace

Outcome<ColumnsRead> readColumns(PageSource &pages, const FileFormat &format, const TableLayout &table,
                                 const CodePageText *jet3, const std::vector<unsigned> &wanted,
                                 const std::atomic<bool> *cancel)
{
    auto dataPages = usageMapPages(table.usageMap, pages);
    if (!dataPages)
        return Status::ReadFailed;
    const std::uint64_t fileSize = pages.pageCount() * pages.pageSize();

    ColumnsRead read;
    read.columns.resize(wanted.size());
    // A damaged definition could announce any number of rows; each row takes
    // several bytes of the file.
    const auto expectedRows = static_cast<std::size_t>(std::min<std::uint64_t>(table.rowCountHint, fileSize / 8));
    for (std::size_t i = 0; i < wanted.size(); ++i)
        reserveColumn(read.columns[i], table.columns[wanted[i]], expectedRows, fileSize);

    RowCursor cursor(pages, format, table.definitionPage, std::move(*dataPages));
    RowDecoder decoder(format, table, wanted);
    LongValueReader longValues(pages, format);
    ValueDecoder values(longValues, TextDecoder(jet3));
    std::vector<FieldBytes> fields(wanted.size());
    std::uint64_t rows = 0;
    for (;;) {
        const RowCursor::Step step = cursor.next();
        if (step == RowCursor::Step::End)
            break;
        if (step == RowCursor::Step::Damaged || ++rows > maxRows)
            return Status::ReadFailed;
        if (cancel && rows % cancelStride == 0 && cancel->load(std::memory_order_relaxed))
            return Status::ReadFailed;
        if (!decoder.decode(cursor.row(), cursor.rowSize(), fields.data()))
            return Status::ReadFailed;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const ColumnLayout &column = table.columns[wanted[i]];
            ColumnValues &out = read.columns[i];
            const bool isNull = !fields[i].present && column.type != static_cast<std::uint8_t>(JetType::Boolean);
            if (!isNull && !values.append(column, fields[i], out.text))
                return Status::ReadFailed;
            if (out.text.size() > std::numeric_limits<std::uint32_t>::max())
                return Status::ReadFailed;
            out.nulls.push_back(isNull ? 1 : 0);
            out.offsets.push_back(static_cast<std::uint32_t>(out.text.size()));
        }
    }
    read.rows = static_cast<std::uint32_t>(rows);
    read.pagesDigest = cursor.pagesDigest();
    return read;
}

} // namespace article_database
