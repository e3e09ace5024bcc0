#include "read_back.h"

#include "child_process.h"
#include "shape_catalog.h"

// mdbtools.h opens an extern "C" block around its glib include, which C++
// templates in glib reject unless glib.h came first.
#include <glib.h>
#include <mdbtools.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace writer_test {

namespace {

const std::string kNullMarker = "NULL";

// The output of a run that must succeed without a word on stderr.
std::string checkedOutput(const std::vector<std::string> &argv)
{
    const test_support::Output o = test_support::run(argv);
    if (o.status != 0 || !o.err.empty())
        throw std::runtime_error(argv[0] + " failed (" + std::to_string(o.status) + "): " + o.err);
    return o.out;
}

// mdb-export quotes every text and doubles the quotes in it, so an unquoted
// null marker can only be a null.
std::vector<PrintedRow> parseCsv(const std::string &s)
{
    std::vector<PrintedRow> rows;
    PrintedRow row;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::string field;
        const bool quoted = s[i] == '"';
        if (quoted) {
            for (++i; !(s.at(i) == '"' && s[i + 1] != '"'); ++i) {
                if (s[i] == '"') // a doubled quote stands for one
                    ++i;
                field += s[i];
            }
            ++i;
        } else {
            const std::size_t end = std::min(s.find_first_of(",\n", i), s.size());
            field = s.substr(i, end - i);
            i = end;
        }
        row.push_back(quoted || field != kNullMarker ? Printed{std::move(field)} : Printed{});
        if (i >= s.size() || s[i] == '\n')
            rows.push_back(std::exchange(row, {}));
    }
    return rows;
}

// mdb-json writes one object per row and leaves nulls out.
std::vector<PrintedRow> exportJson(const std::string &path, const mdb_writer::Table &table)
{
    const QByteArray out = QByteArray::fromStdString(checkedOutput({"mdb-json", path, table.name}));
    std::vector<PrintedRow> rows;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
        if (error.error != QJsonParseError::NoError)
            throw std::runtime_error("mdb-json row " + std::to_string(rows.size()) + ": "
                                     + error.errorString().toStdString());
        PrintedRow &row = rows.emplace_back();
        for (const mdb_writer::Column &c : table.columns) {
            const QJsonValue value = object.value(QString::fromStdString(c.name));
            // A whole number comes out of toVariant as an integer, so it
            // prints without an exponent, as mdb-json wrote it.
            if (value.isString() || value.isDouble())
                row.emplace_back(value.toVariant().toString().toStdString());
            else
                row.emplace_back();
        }
    }
    return rows;
}

// libmdb 1.0.0 converts with UCS-2, which has no surrogates: a character
// beyond the BMP comes out as one '?' per UTF-16 unit.
std::string asUcs2Prints(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if ((static_cast<unsigned char>(s[i]) & 0xF8) == 0xF0) {
            out += "??";
            i += 4;
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

} // namespace

std::vector<PrintedRow> exportCsv(const std::string &path, const std::string &table)
{
    return parseCsv(checkedOutput({"mdb-export", "-0", kNullMarker, path, table}));
}

std::string mismatch(const mdb_writer::Column &column, const mdb_writer::Cell &cell, const Printed &printed,
                     bool viaDouble)
{
    using mdb_writer::ColumnType;
    const ColumnType type = column.type;
    const std::string shown = printed ? "\"" + printed->substr(0, 80) + "\"" : "null";
    if (type == ColumnType::Boolean) {
        // A boolean lives in the null mask: there is no null boolean.
        const bool value = std::holds_alternative<bool>(cell) && std::get<bool>(cell);
        return printed == (value ? "1" : "0") ? "" : "expected " + std::string(value ? "1" : "0") + ", got " + shown;
    }
    if (std::holds_alternative<mdb_writer::Null>(cell))
        return printed ? "expected null, got " + shown : "";
    if (const auto *text = std::get_if<std::string>(&cell)) {
        // libmdb hands a zero-length text over exactly as it hands a null.
        if (text->empty())
            return printed ? "expected the empty text to print as null, got " + shown : "";
        if (printed && (*printed == *text || *printed == asUcs2Prints(*text)))
            return "";
        return "expected \"" + text->substr(0, 80) + "\" (" + std::to_string(text->size()) + " bytes), got " + shown
               + (printed ? " (" + std::to_string(printed->size()) + " bytes)" : "");
    }
    if (!printed)
        return "expected a value, got null";
    if (const auto *i = std::get_if<std::int32_t>(&cell))
        return *printed == std::to_string(*i) ? "" : "expected " + std::to_string(*i) + ", got " + shown;
    if (const auto *decimal = std::get_if<mdb_writer::Decimal>(&cell)) {
        const std::string text = mdb_writer::shapes::decimalText(*decimal, column.scale);
        if (*printed == text)
            return "";
        char *end = nullptr;
        const double got = std::strtod(printed->c_str(), &end);
        const double expected = std::strtod(text.c_str(), nullptr);
        if (viaDouble && *end == '\0' && std::fabs(got - expected) <= 1e-15 * std::fabs(expected))
            return "";
        return "expected " + text + ", got " + shown;
    }
    const double expected = std::get<double>(cell);
    char *end = nullptr;
    const double got = std::strtod(printed->c_str(), &end);
    // The tools print 16 significant digits, a few units short of round-tripping.
    if (*end == '\0' && std::fabs(got - expected) <= 1e-15 * std::fabs(expected))
        return "";
    return "expected about " + std::to_string(expected) + ", got " + shown;
}

void expectShown(const char *tool, const std::vector<PrintedRow> &printed,
                 const std::vector<mdb_writer::Column> &columns, const std::vector<mdb_writer::Row> &rows,
                 const std::vector<bool> &moved)
{
    ASSERT_EQ(printed.size(), rows.size()) << tool;
    std::vector<std::size_t> inOrder;
    std::map<std::string, std::size_t> movedByKey;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string key = std::to_string(std::get<std::int32_t>(rows[i][0]));
        if (moved[i])
            movedByKey[key] = i;
        else
            inOrder.push_back(i);
    }
    std::size_t next = 0;
    int reports = 0;
    for (const PrintedRow &row : printed) {
        ASSERT_EQ(row.size(), columns.size()) << tool;
        ASSERT_TRUE(row[0]) << tool << ": a row without its first column";
        std::size_t written;
        if (auto it = movedByKey.find(*row[0]); it != movedByKey.end()) {
            written = it->second;
            movedByKey.erase(it);
        } else {
            ASSERT_LT(next, inOrder.size()) << tool << ": unexpected row " << *row[0];
            written = inOrder[next++];
        }
        for (std::size_t c = 0; c < row.size() && reports < 10; ++c) {
            const std::string m = mismatch(columns[c], rows[written][c], row[c]);
            if (!m.empty() && reports++ < 10)
                ADD_FAILURE() << tool << ", row " << written << ", column " << columns[c].name << ": " << m;
        }
    }
    EXPECT_TRUE(movedByKey.empty()) << tool << ": moved rows missing";
}

void expectToolsShow(const std::string &path, const mdb_writer::Table &table)
{
    const std::size_t count = table.generate ? table.rowCount : table.rows.size();
    const std::vector<PrintedRow> csv = exportCsv(path, table.name);
    const std::vector<PrintedRow> json = exportJson(path, table);
    ASSERT_EQ(csv.size(), count + 1) << "mdb-export rows of " << table.name;
    ASSERT_EQ(json.size(), count) << "mdb-json rows of " << table.name;
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        EXPECT_EQ(csv[0].at(c), table.columns[c].name);

    int reports = 0;
    mdb_writer::Row row;
    for (std::size_t i = 0; i < count && reports < 10; ++i) {
        if (table.generate) {
            row.assign(table.columns.size(), mdb_writer::Null{});
            table.generate(i, row);
        } else {
            row = table.rows[i];
        }
        ASSERT_EQ(csv[i + 1].size(), table.columns.size()) << "mdb-export row " << i;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            // mdb-json's numbers come back through QJsonValue's double.
            const std::tuple<const char *, const Printed *, bool> seen[] = {{"mdb-export", &csv[i + 1][c], false},
                                                                            {"mdb-json", &json[i][c], true}};
            for (const auto &[tool, printed, viaDouble] : seen) {
                const std::string m = mismatch(table.columns[c], row[c], *printed, viaDouble);
                if (!m.empty() && reports++ < 10) {
                    ADD_FAILURE() << tool << ", " << table.name << " row " << i << " column "
                                  << table.columns[c].name << ": " << m;
                }
            }
        }
    }
}

std::string toolLine(const std::vector<std::string> &argv)
{
    const test_support::Output o = test_support::run(argv);
    EXPECT_EQ(o.status, 0) << argv[0] << ": " << o.err;
    EXPECT_EQ(o.err, "") << argv[0];
    std::string s = o.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

Schema schema(const std::string &path)
{
    Schema tables;
    std::string current;
    std::istringstream text(toolLine({"mdb-schema", path}));
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("CREATE TABLE [", 0) == 0) {
            current = line.substr(14, line.find(']') - 14);
            tables[current];
        } else if (line.rfind("\t[", 0) == 0) {
            const std::size_t close = line.find(']');
            std::string type = line.substr(line.find_first_not_of('\t', close + 1));
            type = type.substr(0, type.find_last_not_of(", ") + 1);
            tables[current].push_back({line.substr(2, close - 2), type});
        }
    }
    return tables;
}

std::optional<LibmdbTable> readWithLibmdb(const std::string &path, const std::string &tableName,
                                          std::size_t bindSize)
{
    MdbHandle *mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return std::nullopt;
    mdb_set_bind_size(mdb, bindSize);
    std::string name = tableName;
    MdbTableDef *table = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
    if (!table || !mdb_read_columns(table)) {
        mdb_close(mdb);
        return std::nullopt;
    }
    LibmdbTable result;
    result.declaredRows = table->num_rows;
    result.usageMapType = table->map_sz > 0 ? table->usage_map[0] : -1;
    const unsigned columns = table->num_cols;
    std::vector<std::vector<char>> buffers(columns, std::vector<char>(mdb->bind_size));
    for (unsigned i = 0; i < columns; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        result.columns.emplace_back(col->name);
        result.types.push_back(col->col_type);
        mdb_bind_column(table, static_cast<int>(i + 1), buffers[i].data(), nullptr);
    }
    mdb_rewind_table(table);
    std::vector<MdbField> fields(columns);
    while (mdb_fetch_row(table)) {
        std::vector<std::string> bound;
        for (const auto &b : buffers)
            bound.emplace_back(b.data());
        result.bound.push_back(std::move(bound));

        // The fetch leaves the row's page in pg_buf and cur_row one past it.
        int start = 0;
        std::size_t size = 0;
        std::vector<StoredField> stored(columns);
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) == 0
            && mdb_crack_row(table, start & 0x1FFF, size, fields.data()) >= 0) {
            for (unsigned i = 0; i < columns; ++i) {
                stored[i].null = fields[i].is_null != 0;
                const auto *p = static_cast<const std::uint8_t *>(fields[i].value);
                if (p && !stored[i].null)
                    stored[i].bytes.assign(p, p + fields[i].siz);
            }
        }
        result.stored.push_back(std::move(stored));
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return result;
}

std::vector<CatalogEntry> readCatalog(const std::string &path)
{
    std::vector<CatalogEntry> entries;
    MdbHandle *mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return entries;
    if (mdb_read_catalog(mdb, MDB_ANY)) {
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
            entries.push_back({e->object_name, e->object_type, mdb_is_user_table(e) != 0,
                               mdb_is_system_table(e) != 0});
        }
    }
    mdb_close(mdb);
    return entries;
}

} // namespace writer_test
