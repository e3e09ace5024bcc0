// Queries answered row by row (row_stream.h), which article-query prints as
// they come: the same rows as the kept snapshot gives the window, on every
// row shape the writer makes, and a file that changes during the walk is
// reported as changed, never answered from.

#include "jet_engine/engine.h"
#include "jet_engine/text/unicode_text.h"
#include "jet_engine/row_stream.h"
#include "jet_engine/platform/operating_system.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/query/query_text.h"
#include "jet_engine/stream/table_stream.h"
#include "child_process.h"
#include "first_column.h"
#include "gated_system.h"
#include "shape_cases.h"
#include "shape_catalog.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <limits>

namespace jet_engine {
namespace {

using mdb_writer::Format;
using testing_support::TempDir;

struct Answer {
    Status status = Status::Ok;
    std::vector<std::string> rows;
    friend bool operator==(const Answer &, const Answer &) = default;
};

void PrintTo(const Answer &a, std::ostream *os)
{
    *os << describe(a.status) << ", " << a.rows.size() << " rows";
    for (std::size_t i = 0; i < a.rows.size() && i < 5; ++i)
        *os << (i ? ", " : ": ") << a.rows[i];
}

std::u16string utf16(const std::string &text)
{
    std::u16string out;
    EXPECT_TRUE(utf8ToUtf16(text, out)) << text;
    return out;
}

// The window's way: the snapshot kept by the cache.
Answer kept(Database &database, const std::string &query)
{
    auto opened = database.openRecordset(utf16(query));
    if (!opened.ok())
        return {opened.status(), {}};
    if (const auto atEnd = opened.value()->eof(); !atEnd.ok())
        return {atEnd.status(), {}};
    return {Status::Ok, testing_support::firstColumnToEnd(*opened.value())};
}

// article-query's way; the rows given before a failure are dropped, as the
// tool tells scripts to drop them.
Answer streamed(StreamedDatabase &database, const std::string &query)
{
    auto opened = database.query(utf16(query));
    if (!opened.ok())
        return {opened.status(), {}};
    Answer answer;
    for (;;) {
        const auto row = opened.value()->next();
        if (!row.ok())
            return {row.status(), {}};
        if (!row.value())
            return answer;
        if (const FieldValue value = opened.value()->firstColumn(); !value.isNull())
            answer.rows.emplace_back(value.text);
    }
}

using ::testing_support::allShapes;
using ::testing_support::ShapeCase;

class StreamedShapeTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(StreamedShapeTest, GivesTheKeptSnapshotsAnswers)
{
    const mdb_writer::shapes::Shape shape = mdb_writer::shapes::shape(GetParam().shape, GetParam().format);
    TempDir dir;
    const std::string path = dir.file("shape.mdb");
    testing_support::writeOrFail(path, {shape.table}, GetParam().format);

    Engine engine;
    auto database = engine.openDatabase(path, false, true);
    auto streamedDatabase = engine.openStreamed(path);
    ASSERT_TRUE(database.ok()) << describe(database.status());
    ASSERT_TRUE(streamedDatabase.ok()) << describe(streamedDatabase.status());

    // Every kind of column, searched with a literal, a wildcard, a digit and
    // a set, the first column among them (then matched and printed at once).
    std::vector<std::string> queries = {shape.table.name, "[" + shape.table.name + "]",
                                        "SELECT * FROM " + shape.table.name + " WHERE NO_SUCH_COLUMN LIKE '*'"};
    const auto columns = mdb_writer::shapes::visible(shape.table).columns;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c >= 6 && c + 1 != columns.size())
            continue;
        for (const char *pattern : {"*", "*E*", "*1*", "?#*", "*[a-c]*", "*é*", "[!0-9]*"})
            queries.push_back("SELECT * FROM " + shape.table.name + " WHERE " + columns[c].name + " LIKE '" + pattern
                              + "'");
    }
    int rowsCompared = 0;
    for (const std::string &query : queries) {
        const Answer expected = kept(*database.value(), query);
        EXPECT_EQ(streamed(*streamedDatabase.value(), query), expected) << query;
        rowsCompared += static_cast<int>(expected.rows.size());
    }
    // The damaged shape may be refused whole; every other shape has rows.
    if (!shape.damaged) {
        EXPECT_GT(rowsCompared, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, StreamedShapeTest, testing::ValuesIn(allShapes()),
                         [](const testing::TestParamInfo<ShapeCase> &info) { return ::testing_support::shapeCaseName(info.param); });

constexpr int manyRows = 100'000;

// Same length for every index, so that a rewrite can keep the file's size.
mdb_writer::Table articles(const std::string &prefix)
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {{"ARTICLE", mdb_writer::ColumnType::Text, 60}, {"REFERENCE", mdb_writer::ColumnType::LongInteger}};
    table.rowCount = manyRows;
    table.generate = [prefix](std::size_t index, mdb_writer::Row &row) {
        row = {prefix + " " + std::to_string(1'000'000 + index), static_cast<std::int32_t>(index)};
    };
    return table;
}

// The tool writes text as the system writes it: with CR LF on Windows.
#ifdef _WIN32
constexpr const char *newline = "\r\n";
#else
constexpr const char *newline = "\n";
#endif

// An answer of several megabytes leaves the tool in several writes: all of
// it, in order, and nothing twice.
TEST(StreamedToolTest, PrintsWhatTheKeptSnapshotLists)
{
    TempDir dir;
    const std::string path = dir.file("articles.mdb");
    testing_support::writeOrFail(path, {articles("VIS A BOIS TETE FRAISEE 4X40 ZINGUE")});
    Engine engine;
    auto database = engine.openDatabase(path, false, true);
    ASSERT_TRUE(database.ok()) << describe(database.status());

    for (const std::string query : {"ARTICLE", "SELECT * FROM ARTICLE Where ARTICLE like '*zingue 10012*'"}) {
        const Answer expected = kept(*database.value(), query);
        std::string lines;
        for (const std::string &row : expected.rows)
            lines += row + newline;
        const test_support::Output run = test_support::run({ARTICLE_QUERY_PATH, path, query});
        EXPECT_EQ(run.status, 0) << query;
        EXPECT_EQ(run.err, "") << query;
        EXPECT_TRUE(run.out == lines) << query << ": " << run.out.size() << " bytes, " << lines.size() << " expected";
    }
}

// A walk's helpers had threads of their own; on the engine's workers they
// can find every worker busy, with an index build say. Had the caller waited
// for a helper to match the next run, the walk would have stood still until
// the worker came free: it matches each run itself instead.
TEST(StreamedPoolTest, WithEveryWorkerBusyTheCallerWalksAlone)
{
    TempDir dir;
    const std::string path = dir.file("articles.mdb");
    testing_support::writeOrFail(path, {articles("VIS A BOIS TETE FRAISEE 4X40 ZINGUE")});
    const std::string query = "SELECT * FROM ARTICLE Where ARTICLE like '*zingue 10012*'";
    Engine engine;
    auto database = engine.openDatabase(path, false, true);
    ASSERT_TRUE(database.ok()) << describe(database.status());
    const Answer expected = kept(*database.value(), query);
    ASSERT_FALSE(expected.rows.empty());

    auto pool = std::make_shared<WorkerPool>(1);
    std::promise<void> started;
    std::promise<void> release;
    WorkerPool::Group busy(pool);
    busy.post([&](const WorkToken &) {
        started.set_value();
        release.get_future().wait();
    });
    started.get_future().wait();
    auto file = StreamedFile::open(operatingSystem(), path, pool);
    ASSERT_TRUE(file.ok()) << describe(file.status());
    auto rows = file.value()->stream(parseQueryText(utf16(query)).value());
    ASSERT_TRUE(rows.ok()) << describe(rows.status());
    Answer walked;
    for (auto next = rows.value()->next(); next.ok() && next.value(); next = rows.value()->next())
        walked.rows.emplace_back(rows.value()->firstColumn().text);
    EXPECT_EQ(walked, expected);
    release.set_value();
}

struct ChangeCase {
    const char *name;
    // The file clock: far ahead, the file's times are trusted; at zero, its
    // bytes are compared as well.
    std::int64_t clockNs;
    std::function<void(const std::string &path)> change;
};

void PrintTo(const ChangeCase &c, std::ostream *os) { *os << c.name; }

void rewriteKeepingTimes(const std::string &path)
{
    const auto size = std::filesystem::file_size(path);
    const auto written = std::filesystem::last_write_time(path);
    TempDir scratch;
    testing_support::writeOrFail(scratch.file("other.mdb"), {articles("ECROU HEXAGONAL M6 INOX A2 LOT DE 1")});
    testing_support::writeBytes(path, testing_support::readBytes(scratch.file("other.mdb")));
    std::filesystem::last_write_time(path, written);
    ASSERT_EQ(std::filesystem::file_size(path), size);
}

const ChangeCase changes[] = {
    {"rows_appended", std::numeric_limits<std::int64_t>::max(),
     [](const std::string &path) {
         const auto size = std::filesystem::file_size(path);
         std::filesystem::resize_file(path, size + 4096);
     }},
    {"cut_short", std::numeric_limits<std::int64_t>::max(),
     [](const std::string &path) { std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2); }},
    {"rewritten_same_size_and_mtime", 0, rewriteKeepingTimes},
};

class StreamedChangeTest : public testing::TestWithParam<ChangeCase> {};

TEST_P(StreamedChangeTest, FileChangedDuringTheWalkIsReported)
{
    TempDir dir;
    const std::string path = dir.file("articles.mdb");
    testing_support::writeOrFail(path, {articles("VIS A BOIS TETE FRAISEE 4X40 ZINGUE")});
    testing_support::GatedSystem system(GetParam().clockNs);
    Engine engine(system);
    auto database = engine.openStreamed(path);
    ASSERT_TRUE(database.ok()) << describe(database.status());
    auto rows = database.value()->query(u"ARTICLE");
    ASSERT_TRUE(rows.ok()) << describe(rows.status());

    // Once the first block of pages has been read, whichever thread reads
    // the next one: rows from before the change and after it.
    std::atomic<bool> changed{false};
    system.changeAfter(std::uint64_t{1} << 20, [&] {
        changed = true;
        GetParam().change(path);
    });
    int given = 0;
    Outcome<bool> row = false;
    while ((row = rows.value()->next()).ok() && row.value())
        ++given;
    EXPECT_TRUE(changed);
    EXPECT_EQ(row.status(), Status::FileChanged) << given << " rows given";
    // And it stays so: the rows given are not to be taken for an answer.
    EXPECT_EQ(rows.value()->next().status(), Status::FileChanged);
}

INSTANTIATE_TEST_SUITE_P(Changes, StreamedChangeTest, testing::ValuesIn(changes),
                         [](const testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
