#include "jet_engine/format/table_definition.h"

#include "jet_engine/format/little_endian.h"
#include "jet_engine/format/row_cursor.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace jet_engine {

namespace {

constexpr std::size_t continuationHeader = 8;
constexpr std::size_t nextPageOffset = 4;
constexpr unsigned char fixedLengthFlag = 0x01;

// Where each field lies, from the start of the definition and of a column
// entry. Jet 4 and ACE moved the table's counts 20 bytes on and widened
// every entry.
struct Offsets {
    std::size_t rowCount, maxColumns, variableSlots, columnCount, realIndexCount, usageMap, realIndexes;
    std::size_t realIndexEntry, columnEntry, nameLengthBytes;
    // Within a column entry.
    std::size_t type, number, varIndex, precision, scale, flags, fixedOffset, size;
};

constexpr Offsets jet3Offsets{12, 21, 23, 25, 31, 35, 43, 8, 18, 1, 0, 1, 3, 11, 12, 13, 14, 16};
constexpr Offsets jet4Offsets{16, 41, 43, 45, 51, 55, 63, 12, 25, 2, 0, 5, 7, 11, 12, 15, 21, 23};

// The definition's bytes, the first page whole and the rest of each
// continuation page after its header.
bool gatherPages(PageSource &pages, std::uint32_t first, std::vector<unsigned char> &out)
{
    std::unordered_set<std::uint32_t> seen;
    const std::size_t pageSize = pages.pageSize();
    for (std::uint32_t number = first; number != 0;) {
        if (!seen.insert(number).second)
            return false;
        const unsigned char *page = pages.page(number, PageSource::Slot::Map);
        if (!page || page[0] != definitionPageType)
            return false;
        const std::size_t skip = number == first ? 0 : continuationHeader;
        out.insert(out.end(), page + skip, page + pageSize);
        number = le32(page + nextPageOffset);
    }
    return true;
}

// A row pointer (page in the upper three bytes, row in the low one) to the
// usage map row, copied out.
bool readUsageMap(PageSource &pages, const FileFormat &format, std::uint32_t pointer, std::vector<std::uint8_t> &out)
{
    const unsigned char *page = pages.page(pointer >> 8, PageSource::Slot::Map);
    RowSlot row;
    if (!page || page[0] != dataPageType || !rowSlot(page, pages.pageSize(), format, pointer & 0xFF, row))
        return false;
    out.assign(row.bytes, row.bytes + row.size);
    return true;
}

class Bytes {
public:
    explicit Bytes(const std::vector<unsigned char> &bytes) : m_bytes(bytes) {}
    bool has(std::size_t at, std::size_t count) const { return at <= m_bytes.size() && count <= m_bytes.size() - at; }
    const unsigned char *at(std::size_t offset) const { return m_bytes.data() + offset; }
    std::uint16_t u16(std::size_t offset) const { return le16(at(offset)); }
    std::uint32_t u32(std::size_t offset) const { return le32(at(offset)); }

private:
    const std::vector<unsigned char> &m_bytes;
};

} // namespace

Outcome<TableLayout> readTableDefinition(PageSource &pages, const FileFormat &format, const TextDecoder &names,
                                         std::uint32_t page, std::string name)
{
    const Offsets &o = format.jet3 ? jet3Offsets : jet4Offsets;
    std::vector<unsigned char> bytes;
    if (page == 0 || !gatherPages(pages, page, bytes))
        return Status::ReadFailed;
    const Bytes def(bytes);
    if (!def.has(0, o.realIndexes))
        return Status::ReadFailed;

    TableLayout table;
    table.name = std::move(name);
    table.definitionPage = page;
    table.rowCountHint = def.u32(o.rowCount);
    const std::uint16_t numbersUsed = def.u16(o.maxColumns);
    const std::uint16_t columnCount = def.u16(o.columnCount);
    table.hasVariableColumns = def.u16(o.variableSlots) > 0;
    if (columnCount == 0 || columnCount > numbersUsed)
        return Status::ReadFailed;

    const std::uint64_t firstEntry = o.realIndexes + std::uint64_t{def.u32(o.realIndexCount)} * o.realIndexEntry;
    const std::uint64_t firstName = firstEntry + std::uint64_t{columnCount} * o.columnEntry;
    if (!def.has(0, firstName))
        return Status::ReadFailed;
    std::size_t nameAt = static_cast<std::size_t>(firstName);
    for (std::size_t i = 0; i < columnCount; ++i) {
        const std::size_t entry = static_cast<std::size_t>(firstEntry) + i * o.columnEntry;
        ColumnLayout column;
        column.type = *def.at(entry + o.type);
        column.number = def.u16(entry + o.number);
        column.varIndex = def.u16(entry + o.varIndex);
        column.fixedOffset = def.u16(entry + o.fixedOffset);
        column.size = def.u16(entry + o.size);
        column.fixed = (*def.at(entry + o.flags) & fixedLengthFlag) != 0;
        column.precision = *def.at(entry + o.precision);
        column.scale = *def.at(entry + o.scale);
        if (column.number >= numbersUsed || !def.has(nameAt, o.nameLengthBytes))
            return Status::ReadFailed;
        const std::size_t length = o.nameLengthBytes == 1 ? *def.at(nameAt) : def.u16(nameAt);
        nameAt += o.nameLengthBytes;
        if (!def.has(nameAt, length))
            return Status::ReadFailed;
        names.append(def.at(nameAt), length, column.name);
        nameAt += length;
        table.columns.push_back(std::move(column));
    }
    // Entries come in the order columns were made; a row places them by number.
    std::stable_sort(table.columns.begin(), table.columns.end(),
                     [](const ColumnLayout &a, const ColumnLayout &b) { return a.number < b.number; });
    if (std::adjacent_find(table.columns.begin(), table.columns.end(), [](const ColumnLayout &a, const ColumnLayout &b) {
            return a.number == b.number;
        }) != table.columns.end())
        return Status::ReadFailed;

    if (!readUsageMap(pages, format, def.u32(o.usageMap), table.usageMap) || table.usageMap.empty())
        return Status::ReadFailed;
    return table;
}

} // namespace jet_engine
