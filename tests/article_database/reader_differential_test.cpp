// Our engine against libmdb and mdb-export, on a file of each row shape an
// Access-made file can hold (see shape_catalog.h), in Jet 3 and Jet 4: every
// row, every column's display text and null-ness, value for value.
//
// libmdb and mdb-export read a moved (overflow) row wrongly: they skip its
// home entry as deleted and list its data where it lies. So moved rows are
// compared with them as a set, the other rows in order, and the engine's
// order is checked against the order the writer wrote. Where libmdb prints a
// value differently (booleans, doubles, empty texts, characters beyond the
// BMP), reader_rows.cpp brings the engine's text to libmdb's form.

#include "reader_rows.h"
#include "shape_catalog.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

namespace article_database {
namespace {

using mdb_writer::Format;
using testing_support::Reading;
using testing_support::ShownRow;

struct ShapeCase {
    Format format;
    std::string shape;
};

void PrintTo(const ShapeCase &c, std::ostream *os)
{
    *os << c.shape << (c.format == Format::Jet3 ? " (Jet 3)" : " (Jet 4)");
}

std::vector<ShapeCase> allShapes()
{
    std::vector<ShapeCase> cases;
    for (Format format : {Format::Jet4, Format::Jet3})
        for (const std::string &name : mdb_writer::shapes::names())
            cases.push_back({format, name});
    return cases;
}

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

    const std::size_t bind = std::max<std::size_t>(16384, 2 * mdb_writer::shapes::longestText(shape.table) + 16);
    const Reading libmdb = testing_support::readWithLibmdb(path, shape.table.name, bind, 120);
    ASSERT_TRUE(libmdb.ok) << libmdb.failure;
    expectAgreement("libmdb", engine, libmdb, movedKeys);
    const Reading exported = testing_support::readWithMdbExport(path, shape.table.name, libmdb.real);
    ASSERT_TRUE(exported.ok) << exported.failure;
    expectAgreement("mdb-export", engine, exported, movedKeys);

    RecordProperty("rows_compared", static_cast<int>(engine.rows.size()));
    std::cout << "[ differential ] compared " << engine.rows.size() << " rows of " << shape.name
              << (GetParam().format == Format::Jet3 ? " (Jet 3)" : " (Jet 4)") << " with libmdb and mdb-export\n";
}

INSTANTIATE_TEST_SUITE_P(Shapes, ReaderDifferential, testing::ValuesIn(allShapes()),
                         [](const testing::TestParamInfo<ShapeCase> &info) {
                             return info.param.shape + (info.param.format == Format::Jet3 ? "_Jet3" : "_Jet4");
                         });

} // namespace
} // namespace article_database
