#include "mdb_writer.h"

#include "jet_layout.h"
#include "page_file.h"
#include "row_encoder.h"
#include "row_placement.h"
#include "table_definition.h"

#include <algorithm>
#include <array>
#include <exception>

namespace mdb_writer {
namespace {

using namespace detail;

constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint32_t kMapHolderPage = 1;
constexpr std::uint32_t kTablesContainerId = 0x0F000001;
constexpr std::uint32_t kRootContainerId = 0x0F000000;
constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;
constexpr std::uint32_t kContainerFlags = 0x80000000u;
constexpr std::uint8_t kNoOwner[4] = {0, 0, 0, 0};

JetType jetType(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
        return JetText;
    case ColumnType::Memo:
        return JetMemo;
    case ColumnType::LongInteger:
        return JetLong;
    case ColumnType::Double:
        return JetDouble;
    case ColumnType::Boolean:
        return JetBoolean;
    case ColumnType::Numeric:
        return JetNumeric;
    }
    throw WriteError("unknown column type");
}

class DatabaseWriter {
public:
    DatabaseWriter(const std::string &path, const JetVersion &version)
        : m_version(version), m_file(path, version.pageSize), m_encoder(version, m_file)
    {
    }

    void write(const std::vector<Table> &tables)
    {
        // The header, the usage map holder and the catalog definition sit at
        // fixed pages but depend on everything after them: reserved now,
        // written last.
        m_file.allocate();
        m_file.allocate();
        m_file.allocate();

        TableLayout catalog = layoutTable(m_version, "MSysObjects", true,
                                          {{"Id", JetLong},
                                           {"ParentId", JetLong},
                                           {"Name", JetText, 255},
                                           {"Type", JetInteger},
                                           {"Flags", JetLong},
                                           {"LvProp", JetOle}});
        if (definitionPageCount(m_version, tableDefinition(m_version, catalog).size()) != 1)
            throw WriteError("internal error: the catalog definition needs more than one page");
        catalog.definitionPages.push_back(kCatalogPage);

        std::vector<TableLayout> layouts;
        std::vector<std::string> seen{lowerAscii(catalog.name)};
        for (const Table &table : tables) {
            checkName(m_version, "table", table.name);
            const std::string key = lowerAscii(table.name);
            if (std::find(seen.begin(), seen.end(), key) != seen.end())
                throw WriteError("two tables named \"" + table.name + "\"");
            seen.push_back(key);

            std::vector<ColumnSpec> columns;
            for (const Column &c : table.columns)
                columns.push_back({c.name, jetType(c.type), c.textLength, c.deleted, c.precision, c.scale});
            TableLayout shape = layoutTable(m_version, table.name, false, columns);
            const std::size_t defPages = definitionPageCount(m_version, tableDefinition(m_version, shape).size());
            for (std::size_t i = 0; i < defPages; ++i)
                shape.definitionPages.push_back(m_file.allocate());
            writeRows(m_version, m_file, m_encoder, shape, table);
            layouts.push_back(std::move(shape));
        }

        Table catalogRows;
        const auto objectRow = [](std::int32_t id, std::int32_t parent, const std::string &name, std::int32_t type,
                                  std::uint32_t flags) {
            return Row{id, parent, name, type, static_cast<std::int32_t>(flags), Null{}};
        };
        catalogRows.rows.push_back(objectRow(static_cast<std::int32_t>(kTablesContainerId),
                                             static_cast<std::int32_t>(kRootContainerId), "Tables", 3,
                                             kContainerFlags));
        catalogRows.rows.push_back(objectRow(static_cast<std::int32_t>(kCatalogPage),
                                             static_cast<std::int32_t>(kTablesContainerId), catalog.name, 1,
                                             kSystemObjectFlags));
        for (const TableLayout &t : layouts) {
            catalogRows.rows.push_back(objectRow(static_cast<std::int32_t>(t.definitionPages.front()),
                                                 static_cast<std::int32_t>(kTablesContainerId), t.name, 1, 0));
        }
        writeRows(m_version, m_file, m_encoder, catalog, catalogRows);
        m_encoder.finish();

        layouts.insert(layouts.begin(), std::move(catalog));
        writeUsageMaps(layouts);
        for (const TableLayout &t : layouts)
            writeDefinition(m_version, t, m_file);
        writeHeaderPage(m_version, m_file);
        m_file.close();
    }

private:
    // Usage maps are rows on holder pages: page 1 first, more after the
    // tables when there are many tables.
    void writeUsageMaps(std::vector<TableLayout> &layouts)
    {
        RowPage holder(m_version);
        holder.start(kMapHolderPage, kNoOwner);
        std::vector<std::uint8_t> row;
        const auto place = [&](const std::vector<std::uint8_t> &bytes) {
            if (!holder.fits(bytes.size())) {
                holder.finish(m_file);
                holder.start(m_file.allocate(), kNoOwner);
            }
            return pageRow(holder.number(), holder.add(bytes.data(), bytes.size()));
        };
        for (TableLayout &t : layouts) {
            usageMap(t.dataPages, row);
            t.usageMap = place(row);
            usageMap({}, row);
            t.freeSpaceMap = place(row);
        }
        holder.finish(m_file);
    }

    // An inline map while the pages fit in one window of its bitmap, else a
    // map of pointers to bitmap pages.
    void usageMap(const std::vector<std::uint32_t> &pages, std::vector<std::uint8_t> &row)
    {
        row.assign(m_version.mapRowBytes, 0);
        if (pages.empty() || pages.back() - pages.front() < m_version.inlineMapBits()) {
            const std::uint32_t start = pages.empty() ? 0 : pages.front();
            put32(&row[1], start);
            for (std::uint32_t p : pages)
                row[5 + (p - start) / 8] |= static_cast<std::uint8_t>(1u << ((p - start) % 8));
            return;
        }
        row[0] = 0x01;
        const std::uint32_t bits = m_version.mapPageBits();
        if (pages.back() / bits >= m_version.mapPagePointers())
            throw WriteError("a table reaches beyond the pages a usage map can address");
        std::array<std::uint8_t, kMaxPageSize> bitmap{};
        std::size_t i = 0;
        while (i < pages.size()) {
            const std::uint32_t window = pages[i] / bits;
            bitmap.fill(0);
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
            for (; i < pages.size() && pages[i] / bits == window; ++i) {
                const std::uint32_t bit = pages[i] % bits;
                bitmap[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            const std::uint32_t number = m_file.allocate();
            m_file.write(number, bitmap.data());
            put32(&row[1 + 4 * window], number);
        }
    }

    const JetVersion &m_version;
    PageFile m_file;
    RowEncoder m_encoder;
};

} // namespace

std::string writeDatabase(const std::string &path, const std::vector<Table> &tables)
{
    return writeDatabase(path, tables, Format::Jet4);
}

std::string writeDatabase(const std::string &path, const std::vector<Table> &tables, Format format)
{
    try {
        DatabaseWriter writer(path, format == Format::Jet3 ? kJet3 : kJet4);
        writer.write(tables);
        return {};
    } catch (const std::exception &e) {
        return e.what();
    }
}

} // namespace mdb_writer
