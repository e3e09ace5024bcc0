#include "stored_table.h"

#include "jet_text.h"
#include "row_tail.h"
#include "usage_map_edit.h"

#include "jet_engine/text/unicode_text.h"

#include <algorithm>
#include <array>

namespace mdb_writer::detail {

namespace {

constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint8_t kDefinitionPage = 0x02;
constexpr std::uint32_t kContinuationHeader = 8;
constexpr std::int32_t kTableObject = 1;
constexpr std::uint8_t kFixedColumn = 0x01;

// Jet 4's UTF-16, the compressed form undone, or Jet 3's Windows-1252.
std::u16string storedText(const std::uint8_t *p, std::size_t n, bool jet3)
{
    std::u16string units;
    if (jet3) {
        jet_text::appendFromCp1252(p, n, units);
        return units;
    }
    const bool compressed = n >= 2 && p[0] == 0xFF && p[1] == 0xFE;
    bool oneByte = compressed;
    for (std::size_t i = compressed ? 2 : 0; i < n;) {
        if (compressed && p[i] == 0) {
            oneByte = !oneByte;
            ++i;
        } else if (oneByte) {
            units.push_back(p[i++]);
        } else if (i + 1 < n) {
            units.push_back(static_cast<char16_t>(jet_engine::le16(p + i)));
            i += 2;
        } else {
            break;
        }
    }
    return units;
}

// Names compare with ASCII letter case aside.
std::u16string nameKey(std::u16string units)
{
    for (char16_t &u : units) {
        if (u >= 'a' && u <= 'z')
            u = static_cast<char16_t>(u - 'a' + 'A');
    }
    return units;
}

std::u16string nameKey(const std::string &utf8)
{
    std::u16string units;
    if (!jet_text::toUtf16(utf8, units))
        throw WriteError("the name \"" + utf8 + "\" is not valid UTF-8");
    return nameKey(std::move(units));
}

std::vector<std::uint8_t> definitionBytes(FilePages &pages, std::uint32_t first)
{
    const std::uint32_t pageSize = pages.version().pageSize;
    std::array<std::uint8_t, kMaxPageSize> page;
    std::vector<std::uint8_t> def;
    std::uint32_t at = first;
    std::uint32_t length = 0;
    for (std::uint32_t hops = 0; hops == 0 || def.size() < length; ++hops) {
        if (hops > 0 && (at == 0 || hops >= pages.count()))
            throw WriteError("the definition at page " + std::to_string(first) + " ends before its "
                             + std::to_string(length) + " bytes");
        pages.read(at, page.data());
        if (page[0] != kDefinitionPage)
            throw WriteError("page " + std::to_string(at) + " is not part of a table definition");
        const std::uint32_t header = hops == 0 ? 0 : kContinuationHeader;
        if (hops == 0) {
            length = jet_engine::le32(&page[8]);
            if (length < pages.version().tableDefHeader)
                throw WriteError("the definition at page " + std::to_string(first) + " is shorter than its header");
        }
        const std::size_t take = std::min<std::size_t>(length - def.size(), pageSize - header);
        def.insert(def.end(), page.begin() + header, page.begin() + header + take);
        at = jet_engine::le32(&page[4]);
    }
    return def;
}

ColumnLayout column(const JetVersion &version, const std::uint8_t *e)
{
    ColumnLayout c;
    c.type = static_cast<JetType>(e[0]);
    c.number = jet_engine::le16(e + (version.jet3 ? 1 : 5));
    c.varIndex = jet_engine::le16(e + (version.jet3 ? 3 : 7));
    c.fixed = (e[version.jet3 ? 13 : 15] & kFixedColumn) != 0;
    c.fixedOffset = jet_engine::le16(e + (version.jet3 ? 14 : 21));
    c.storedSize = jet_engine::le16(e + (version.jet3 ? 16 : 23));
    c.precision = e[11];
    c.scale = e[12];
    if (c.type == JetText)
        c.maxChars = version.jet3 ? c.storedSize : c.storedSize / 2;
    return c;
}

// Where a column's value lies in a stored row, or nothing when it is null.
std::optional<DataPage::Span> field(const JetVersion &version, const std::uint8_t *row, const RowParts &parts,
                                    const ColumnLayout &c)
{
    if (c.number >= parts.columnCount)
        return std::nullopt;
    const bool present = (row[parts.nullMaskAt + c.number / 8] >> (c.number % 8)) & 1;
    if (!present)
        return std::nullopt;
    if (!c.fixed) {
        if (c.varIndex + 1u >= parts.bounds.size())
            return std::nullopt;
        return DataPage::Span{parts.bounds[c.varIndex], parts.bounds[c.varIndex + 1] - parts.bounds[c.varIndex]};
    }
    const std::uint32_t at = version.columnCountBytes() + c.fixedOffset;
    if (at + c.storedSize > parts.bounds.front())
        throw WriteError("column \"" + c.name + "\" lies beyond a row's fixed part");
    return DataPage::Span{at, c.storedSize};
}

} // namespace

StoredTable readTable(FilePages &pages, std::uint32_t definitionPage, const std::string &name)
{
    const JetVersion &version = pages.version();
    const std::vector<std::uint8_t> def = definitionBytes(pages, definitionPage);
    const std::uint32_t shift = version.jet3 ? 0 : 20;
    StoredTable t;
    t.definitionPage = definitionPage;
    t.layout.name = name;
    t.rowCountAt = version.jet3 ? 12 : 16;
    t.layout.rowCount = jet_engine::le32(&def[t.rowCountAt]);
    t.numberedColumns = jet_engine::le16(&def[21 + shift]);
    t.layout.varCount = jet_engine::le16(&def[23 + shift]);
    const std::uint32_t live = jet_engine::le16(&def[25 + shift]);
    if (jet_engine::le32(&def[31 + shift]) != 0)
        throw WriteError("table \"" + name + "\" has indexes, which the writer never makes");
    t.layout.usageMap = jet_engine::le32(&def[35 + shift]);

    std::size_t at = version.tableDefHeader;
    if (at + std::size_t{live} * version.columnEntry > def.size())
        throw WriteError("the definition of table \"" + name + "\" is shorter than its columns' entries");
    for (std::uint32_t i = 0; i < live; ++i, at += version.columnEntry)
        t.layout.columns.push_back(column(version, &def[at]));
    for (ColumnLayout &c : t.layout.columns) {
        const std::size_t lengthBytes = version.jet3 ? 1 : 2;
        if (at + lengthBytes > def.size())
            throw WriteError("the definition of table \"" + name + "\" ends in its column names");
        const std::size_t length = version.jet3 ? def[at] : jet_engine::le16(&def[at]);
        at += lengthBytes;
        if (at + length > def.size())
            throw WriteError("the definition of table \"" + name + "\" ends in its column names");
        c.name = jet_engine::toUtf8(storedText(&def[at], length, version.jet3));
        at += length;
        if (c.number >= t.numberedColumns || (!c.fixed && c.varIndex >= t.layout.varCount))
            throw WriteError("column \"" + c.name + "\" of table \"" + name + "\" lies beyond the row's columns");
        if (c.fixed && c.type != JetBoolean)
            t.layout.fixedBytes = std::max<std::uint16_t>(t.layout.fixedBytes, c.fixedOffset + c.storedSize);
    }
    std::sort(t.layout.columns.begin(), t.layout.columns.end(),
              [](const ColumnLayout &a, const ColumnLayout &b) { return a.number < b.number; });
    return t;
}

const ColumnLayout &findColumn(const StoredTable &table, const std::string &name)
{
    const std::u16string wanted = nameKey(name);
    for (const ColumnLayout &c : table.layout.columns) {
        if (nameKey(c.name) == wanted)
            return c;
    }
    throw WriteError("table \"" + table.layout.name + "\" has no column named \"" + name + "\"");
}

StoredTable findTable(FilePages &pages, const std::string &name)
{
    const JetVersion &version = pages.version();
    const std::u16string wanted = nameKey(name);
    const StoredTable catalog = readTable(pages, kCatalogPage, "MSysObjects");
    const ColumnLayout &id = findColumn(catalog, "Id");
    const ColumnLayout &objectName = findColumn(catalog, "Name");
    const ColumnLayout &type = findColumn(catalog, "Type");
    if (id.type != JetLong || objectName.type != JetText || type.type != JetInteger)
        throw WriteError("the catalog's columns are not of the writer's types");

    std::optional<std::uint32_t> definition;
    walkRows(pages, catalog, [&](const FoundRow &, const std::uint8_t *row, std::size_t size) {
        const std::optional<RowParts> parts = splitRow(version, row, size);
        if (!parts)
            throw WriteError("a row of the catalog does not hold together");
        const auto idAt = field(version, row, *parts, id);
        const auto nameAt = field(version, row, *parts, objectName);
        const auto typeAt = field(version, row, *parts, type);
        if (!idAt || !nameAt || !typeAt || idAt->size != 4 || typeAt->size != 2
            || static_cast<std::int16_t>(jet_engine::le16(row + typeAt->start)) != kTableObject)
            return false;
        if (nameKey(storedText(row + nameAt->start, nameAt->size, version.jet3)) != wanted)
            return false;
        definition = jet_engine::le32(row + idAt->start);
        return true;
    });
    if (!definition)
        throw WriteError("the file has no table named \"" + name + "\"");
    return readTable(pages, *definition, name);
}

void walkRows(FilePages &pages, const StoredTable &table, const RowVisit &visit)
{
    const std::uint32_t owner = table.definitionPage;
    for (const std::uint32_t number : usedPages(pages, table.layout.usageMap)) {
        const DataPage page = pages.rowPage(number, owner);
        for (std::uint32_t r = 0; r < page.rows(); ++r) {
            const std::uint16_t flags = page.flags(r);
            const DataPage::Span span = page.row(r);
            if (flags == 0) {
                if (visit({{number, r}, {number, r}, false}, page.bytes() + span.start, span.size))
                    return;
                continue;
            }
            if (flags != kRowMoved)
                continue;
            const std::string which = "the moved row at page " + std::to_string(number) + ", entry " + std::to_string(r);
            if (span.size < 4)
                throw WriteError(which + " is too short for a pointer");
            const std::uint32_t pointer = jet_engine::le32(page.bytes() + span.start);
            const RowAt data{pointer >> 8, pointer & 0xFF};
            if (data.page == number)
                throw WriteError(which + " points into its own page");
            const DataPage there = pages.rowPage(data.page, owner);
            if (data.entry >= there.rows() || there.flags(data.entry) != kRowDeleted)
                throw WriteError(which + " points to no moved data");
            const DataPage::Span moved = there.row(data.entry);
            if (visit({{number, r}, data, true}, there.bytes() + moved.start, moved.size))
                return;
        }
    }
}

std::optional<FoundRow> findRow(FilePages &pages, const StoredTable &table, std::size_t index)
{
    std::optional<FoundRow> found;
    std::size_t seen = 0;
    walkRows(pages, table, [&](const FoundRow &row, const std::uint8_t *, std::size_t) {
        if (seen++ < index)
            return false;
        found = row;
        return true;
    });
    return found;
}

} // namespace mdb_writer::detail
