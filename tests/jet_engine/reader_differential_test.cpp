// Our engine against libmdb and mdb-export, on a file of each row shape an
// Access-made file can hold (see shape_catalog.h), in Jet 3 and Jet 4: every
// row, every column's display text and null-ness, value for value; and the
// table's definition (JetFile::definition) against the writer's columns,
// libmdb's and mdb-schema's.
//
// libmdb and mdb-export read a moved (overflow) row wrongly: they skip its
// home entry as deleted and list its data where it lies. So moved rows are
// compared with them as a set, the other rows in order, and the engine's
// order is checked against the order the writer wrote. Where libmdb prints a
// value differently (booleans, doubles, empty texts, characters beyond the
// BMP), reader_rows.cpp brings the engine's text to libmdb's form.
//
// libmdb 1.0 holds a Numeric column's precision and scale swapped in its
// column structure (reader_rows.cpp swaps them back); the values it binds
// and mdb-export prints come out right all the same, and the engine's
// Numeric values are also held to the writer's own.
//
// Two shapes pin faults of the engine while it took its table definitions
// from libmdb's structures. It took the swapped pair as it came, so a
// Numeric(18,0) column holding 1 showed 0.000000000000000001 (Numerics).
// And it refused any table whose rows keep more variable-column slots than
// it has columns left, which is how Access leaves a table once text or memo
// columns are deleted (MoreSlotsThanColumns).

#include "jet_engine/format/jet_layout.h"
#include "read_back.h"
#include "reader_rows.h"
#include "shape_cases.h"
#include "shape_catalog.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

namespace jet_engine {
namespace {

using mdb_writer::ColumnType;
using mdb_writer::Format;
using testing_support::DefinedColumn;
using testing_support::Definition;
using testing_support::Reading;
using testing_support::ShownRow;

using ::testing_support::allShapes;
using ::testing_support::ShapeCase;

std::string key(const ShownRow &row)
{
    return row.empty() || !row[0] ? std::string("?") : *row[0];
}

// The other reader's rows against the engine's: the same rows, and in the
// same order once moved rows are set aside.
void expectAgreement(const char *tool, const Reading &engine, const Reading &other,
                     const std::set<std::string> &movedKeys)
{
    ASSERT_EQ(other.rows.size(), engine.rows.size()) << tool << " row count";
    std::vector<ShownRow> ours = engine.rows;
    std::vector<ShownRow> theirs = other.rows;
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] != theirs[i]) {
            ADD_FAILURE() << tool << " has a row the engine lacks, or the other way round; engine: "
                          << testing_support::describe(ours[i]) << ", " << tool << ": "
                          << testing_support::describe(theirs[i]);
            break;
        }
    }
    const auto unmoved = [&](const std::vector<ShownRow> &rows) {
        std::vector<ShownRow> kept;
        for (const ShownRow &row : rows)
            if (!movedKeys.count(key(row)))
                kept.push_back(row);
        return kept;
    };
    const std::vector<ShownRow> inOrder = unmoved(engine.rows);
    const std::vector<ShownRow> otherInOrder = unmoved(other.rows);
    ASSERT_EQ(otherInOrder.size(), inOrder.size()) << tool;
    for (std::size_t i = 0; i < inOrder.size(); ++i) {
        if (inOrder[i] != otherInOrder[i]) {
            ADD_FAILURE() << tool << ", unmoved row " << i << ": engine " << testing_support::describe(inOrder[i])
                          << ", " << tool << " " << testing_support::describe(otherInOrder[i]);
            break;
        }
    }
}

std::size_t bindSize(const mdb_writer::shapes::Shape &shape)
{
    return std::max<std::size_t>(16384, 2 * mdb_writer::shapes::longestText(shape.table) + 16);
}

// The engine's Numeric values against the values written, so that a scale
// read wrongly shows even where the other readers share the fault.
void expectWrittenNumerics(const mdb_writer::shapes::Visible &written, const Reading &engine)
{
    std::map<std::string, const mdb_writer::Row *> byKey;
    for (const mdb_writer::Row &row : written.rows)
        byKey[std::to_string(std::get<std::int32_t>(row[0]))] = &row;
    int reports = 0;
    for (const ShownRow &row : engine.rows) {
        const auto found = byKey.find(key(row));
        if (found == byKey.end() || row.size() != written.columns.size())
            continue;
        for (std::size_t c = 0; c < row.size() && reports < 5; ++c) {
            const mdb_writer::Column &column = written.columns[c];
            if (column.type != ColumnType::Numeric)
                continue;
            const auto *value = std::get_if<mdb_writer::Decimal>(&(*found->second)[c]);
            const testing_support::Shown expected =
                value ? mdb_writer::shapes::decimalText(*value, column.scale) : testing_support::Shown{};
            if (row[c] != expected && reports++ < 5)
                ADD_FAILURE() << "N=" << found->first << ", " << column.name << ": the engine shows "
                              << row[c].value_or("null") << ", written " << expected.value_or("null");
        }
    }
}

// The definition's fields for a column the writer wrote, numbered among
// all the table's columns, deleted ones included.
std::vector<DefinedColumn> writtenDefinition(const mdb_writer::Table &table, Format format)
{
    std::vector<DefinedColumn> columns;
    for (std::size_t number = 0; number < table.columns.size(); ++number) {
        const mdb_writer::Column &c = table.columns[number];
        if (c.deleted)
            continue;
        DefinedColumn d;
        d.name = c.name;
        d.number = static_cast<int>(number);
        d.fixed = c.type != ColumnType::Text && c.type != ColumnType::Memo;
        switch (c.type) {
        case ColumnType::Text:
            d.type = static_cast<int>(JetType::Text);
            d.size = format == Format::Jet3 ? c.textLength : 2 * c.textLength;
            break;
        case ColumnType::Memo: d.type = static_cast<int>(JetType::Memo); break;
        case ColumnType::LongInteger:
            d.type = static_cast<int>(JetType::LongInteger);
            d.size = 4;
            break;
        case ColumnType::Double:
            d.type = static_cast<int>(JetType::Double);
            d.size = 8;
            break;
        case ColumnType::Boolean: d.type = static_cast<int>(JetType::Boolean); break;
        case ColumnType::Numeric:
            d.type = static_cast<int>(JetType::Numeric);
            d.size = 17;
            d.precision = c.precision;
            d.scale = c.scale;
            break;
        }
        columns.push_back(d);
    }
    return columns;
}

// Where two definitions of a column differ; empty when they agree. A
// boolean lives in the null mask: its size is never used, and libmdb gives
// it 0 whatever the entry holds. Precision and scale mean something only
// for Numeric columns (text keeps its sort order in those bytes). Where a
// column lies in the row is compared only when `placement` is set.
std::string columnDifference(const DefinedColumn &a, const DefinedColumn &b, bool placement)
{
    std::ostringstream out;
    const auto field = [&out](const char *what, const auto &x, const auto &y) {
        if (x != y)
            out << " " << what << " " << x << " against " << y << ";";
    };
    field("name", a.name, b.name);
    field("type", a.type, b.type);
    field("fixed", a.fixed, b.fixed);
    field("number", a.number, b.number);
    if (a.type != static_cast<int>(JetType::Boolean))
        field("size", a.size, b.size);
    if (a.type == static_cast<int>(JetType::Numeric)) {
        field("precision", a.precision, b.precision);
        field("scale", a.scale, b.scale);
    }
    if (placement && a.fixed)
        field("fixed offset", a.fixedOffset, b.fixedOffset);
    if (placement && !a.fixed)
        field("variable index", a.varIndex, b.varIndex);
    return out.str();
}

std::vector<std::string> names(const std::vector<DefinedColumn> &columns)
{
    std::vector<std::string> out;
    for (const DefinedColumn &c : columns)
        out.push_back(c.name);
    return out;
}

class ReaderDifferential : public testing::TestWithParam<ShapeCase> {};

TEST_P(ReaderDifferential, EngineShowsWhatLibmdbAndMdbExportShow)
{
    const mdb_writer::shapes::Shape shape = mdb_writer::shapes::shape(GetParam().shape, GetParam().format);
    testing_support::TempDir dir;
    const std::string path = dir.file("shape.mdb");
    testing_support::writeOrFail(path, {shape.table}, GetParam().format);

    // What the writer wrote, by N: the rows in order, and which were moved.
    // A stray pointer's row is lost; a reader that goes on shows the others.
    const mdb_writer::shapes::Visible written = mdb_writer::shapes::visible(shape.table);
    std::vector<std::string> writtenKeys;
    std::set<std::string> movedKeys;
    for (std::size_t i = 0; i < written.rows.size(); ++i) {
        const std::string n = std::to_string(std::get<std::int32_t>(written.rows[i][0]));
        if (shape.table.strayPointerRow && n == std::to_string(*shape.table.strayPointerRow))
            continue;
        writtenKeys.push_back(n);
        if (written.moved[i])
            movedKeys.insert(n);
    }

    const Reading engine = testing_support::readWithEngine(path, shape.table.name);
    if (shape.damaged && !engine.ok) {
        std::cout << "[ differential ] " << shape.name << ": the engine refuses the damaged file (" << engine.failure
                  << ")\n";
        return;
    }
    ASSERT_TRUE(engine.ok) << engine.failure;
    std::vector<std::string> engineKeys;
    for (const ShownRow &row : engine.rows)
        engineKeys.push_back(key(row));
    EXPECT_EQ(engineKeys, writtenKeys) << "the engine's rows, by N, against the order written";

    expectWrittenNumerics(written, engine);

    const Reading libmdb = testing_support::readWithLibmdb(path, shape.table.name, bindSize(shape), 120);
    ASSERT_TRUE(libmdb.ok) << libmdb.failure;
    expectAgreement("libmdb", engine, libmdb, movedKeys);
    const Reading exported = testing_support::readWithMdbExport(path, shape.table.name, libmdb.real);
    ASSERT_TRUE(exported.ok) << exported.failure;
    expectAgreement("mdb-export", engine, exported, movedKeys);

    RecordProperty("rows_compared", static_cast<int>(engine.rows.size()));
    std::cout << "[ differential ] compared " << engine.rows.size() << " rows of " << shape.name
              << (GetParam().format == Format::Jet3 ? " (Jet 3)" : " (Jet 4)") << " with libmdb and mdb-export\n";
}

TEST_P(ReaderDifferential, EngineDefinitionIsTheWritersAndLibmdbsAndMdbSchemas)
{
    const mdb_writer::shapes::Shape shape = mdb_writer::shapes::shape(GetParam().shape, GetParam().format);
    testing_support::TempDir dir;
    const std::string path = dir.file("shape.mdb");
    testing_support::writeOrFail(path, {shape.table}, GetParam().format);
    const bool jet3 = GetParam().format == Format::Jet3;

    const Definition ours = testing_support::readDefinitionWithEngine(path, shape.table.name);
    ASSERT_TRUE(ours.ok) << ours.failure;
    const std::vector<DefinedColumn> writtenColumns = writtenDefinition(shape.table, GetParam().format);
    ASSERT_EQ(names(ours.columns), names(writtenColumns)) << "the columns left, in their order";
    for (std::size_t c = 0; c < ours.columns.size(); ++c) {
        const std::string d = columnDifference(ours.columns[c], writtenColumns[c], false);
        EXPECT_EQ(d, "") << ours.columns[c].name << ", the engine against the writer";
    }

    const Reading libmdb = testing_support::readWithLibmdb(path, shape.table.name, bindSize(shape), 120);
    ASSERT_FALSE(libmdb.columns.empty()) << libmdb.failure;
    ASSERT_EQ(names(libmdb.columns), names(ours.columns));
    for (std::size_t c = 0; c < ours.columns.size(); ++c) {
        const std::string d = columnDifference(ours.columns[c], libmdb.columns[c], true);
        EXPECT_EQ(d, "") << ours.columns[c].name << ", the engine against libmdb";
    }

    const auto schema = writer_test::schema(path);
    ASSERT_EQ(schema.count(shape.table.name), 1u);
    std::vector<std::pair<std::string, std::string>> ourSchema;
    for (const DefinedColumn &c : ours.columns)
        ourSchema.emplace_back(c.name, testing_support::schemaType(c, jet3));
    EXPECT_EQ(ourSchema, schema.at(shape.table.name)) << "the engine's columns as mdb-schema prints them";

    RecordProperty("columns_compared", static_cast<int>(ours.columns.size()));
    std::cout << "[ differential ] compared the " << ours.columns.size() << " columns of " << shape.name
              << (jet3 ? " (Jet 3)" : " (Jet 4)") << " with the writer, libmdb and mdb-schema\n";
}

INSTANTIATE_TEST_SUITE_P(Shapes, ReaderDifferential, testing::ValuesIn(allShapes()),
                         [](const testing::TestParamInfo<ShapeCase> &info) { return ::testing_support::shapeCaseName(info.param); });

} // namespace
} // namespace jet_engine
