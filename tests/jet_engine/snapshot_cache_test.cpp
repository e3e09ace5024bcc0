// The engine keeps the table it read and its byte-pair index between
// searches. These tests hold it to two promises: every search answers for
// the file as it is at that moment, and the kept and indexed answers are the
// ones a plain row-by-row match gives.

#include "jet_engine/engine.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/query/like_pattern.h"
#include "jet_engine/query/text_fold.h"
#include "jet_engine/text/unicode_text.h"
#include "jet_engine/search/bigram_index.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/tables/snapshot_cache.h"
#include "jet_engine/watch/file_state.h"
#include "first_column.h"
#include "gated_system.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <thread>

namespace jet_engine {
namespace {

using mdb_writer::Null;
using testing_support::TempDir;

constexpr int freshnessRows = 100'000;

// Same length for every index, so that changing one row keeps the file's size.
std::string designation(int index) { return "ARTICLE " + std::to_string(1'000'000 + index); }

mdb_writer::Table articles(int count, const std::function<std::optional<std::string>(int)> &replaced = {})
{
    std::vector<mdb_writer::Row> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto other = replaced ? replaced(i) : std::nullopt;
        rows.push_back({other ? *other : designation(i), i});
    }
    return testing_support::table("ARTICLE", {{"ARTICLE", mdb_writer::ColumnType::Text, 40}, {"REFERENCE", mdb_writer::ColumnType::LongInteger}},
                                  std::move(rows));
}

std::u16string searchFor(const std::string &text)
{
    std::u16string query;
    EXPECT_TRUE(utf8ToUtf16("SELECT * FROM ARTICLE Where ARTICLE like '*" + text + "*'", query)) << text;
    return query;
}

struct Answer {
    std::vector<std::string> rows;
    std::shared_ptr<const void> storage;
};

Answer search(Database &database, std::u16string_view query)
{
    Answer answer;
    auto opened = database.openRecordset(query);
    EXPECT_TRUE(opened.ok()) << describe(opened.status());
    if (!opened.ok())
        return answer;
    Recordset &rows = *opened.value();
    answer.storage = rows.storage();
    if (rows.moveFirst() != Status::Ok)
        return answer;
    answer.rows = testing_support::firstColumnToEnd(rows);
    return answer;
}

std::shared_ptr<Database> openOrFail(Engine &engine, const std::string &path)
{
    auto database = engine.openDatabase(path, false, true);
    EXPECT_TRUE(database.ok()) << describe(database.status());
    return database.ok() ? database.value() : nullptr;
}

void writeInPlace(const std::string &path, const mdb_writer::Table &table)
{
    TempDir scratch;
    const std::string staged = scratch.file("staged.mdb");
    testing_support::writeOrFail(staged, {table});
    testing_support::writeBytes(path, testing_support::readBytes(staged));
}

struct Change {
    const char *name;
    std::function<void(const std::string &path, const TempDir &dir)> apply;
    std::string query;
    std::vector<std::string> expected;
};

void PrintTo(const Change &c, std::ostream *os) { *os << c.name; }

const Change changes[] = {
    {"rows_added",
     [](const std::string &path, const TempDir &) { writeInPlace(path, articles(freshnessRows + 3)); },
     "ARTICLE 11000",
     {designation(freshnessRows), designation(freshnessRows + 1), designation(freshnessRows + 2)}},
    // Same size, and the modification time put back as it was: only the
    // change time, where the system keeps one, and the bytes tell the two
    // states apart.
    {"row_changed_same_size_and_mtime",
     [](const std::string &path, const TempDir &) {
         const auto size = std::filesystem::file_size(path);
         const auto written = std::filesystem::last_write_time(path);
         writeInPlace(path, articles(freshnessRows, [](int i) {
                          return i == 4242 ? std::optional<std::string>("MOLETTE 1234567") : std::nullopt;
                      }));
         ASSERT_EQ(std::filesystem::file_size(path), size);
         std::filesystem::last_write_time(path, written);
     },
     "MOLETTE",
     {"MOLETTE 1234567"}},
    {"rows_removed",
     [](const std::string &path, const TempDir &) { writeInPlace(path, articles(freshnessRows - 1000)); },
     "ARTICLE 1099",
     {}},
#ifndef _WIN32
    // Windows (Wine at least) refuses to replace a file that is open, even one
    // opened to share its deletion.
    {"replaced_by_rename",
     [](const std::string &path, const TempDir &dir) {
         const std::string other = dir.file("other.mdb");
         testing_support::writeOrFail(other, {articles(freshnessRows, [](int i) {
                                          return i % 1000 == 7 ? std::optional<std::string>("ÉCROU INOX " + std::to_string(i))
                                                               : std::nullopt;
                                      })});
         // Over the file the engine has open, as a program saving a copy
         // does.
         std::filesystem::rename(other, path);
     },
     "écrou inox 9900",
     {"ÉCROU INOX 99007"}},
#endif
};

class FreshnessTest : public testing::TestWithParam<Change> {};

TEST_P(FreshnessTest, NextSearchAnswersForTheChangedFile)
{
    const Change &change = GetParam();
    TempDir dir;
    const std::string path = dir.file("articles.mdb");
    testing_support::writeOrFail(path, {articles(freshnessRows)});

    Engine engine;
    const auto database = openOrFail(engine, path);
    ASSERT_TRUE(database);
    const auto query = searchFor(change.query);
    const Answer first = search(*database, query);
    const Answer again = search(*database, query);
    ASSERT_EQ(again.rows, first.rows);
    // The unchanged file is answered from what the first search read.
    EXPECT_EQ(again.storage, first.storage);

    change.apply(path, dir);
    const Answer changed = search(*database, query);
    EXPECT_EQ(changed.rows, change.expected);
    EXPECT_NE(changed.rows, first.rows);

    Engine freshEngine;
    const auto fresh = openOrFail(freshEngine, path);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(changed.rows, search(*fresh, query).rows);
}

INSTANTIATE_TEST_SUITE_P(Changes, FreshnessTest, testing::ValuesIn(changes),
                         [](const testing::TestParamInfo<Change> &info) { return std::string(info.param.name); });

// Designations mixing ASCII, accents, letters that fold to a different
// length in UTF-8 (the Kelvin sign folds to a plain k), Greek, and nulls.
std::vector<std::optional<std::string>> randomDesignations(std::mt19937 &random, int count)
{
    static const char *const words[] = {"VIS", "INOX", "Molette", "écrou", "ÉCROU", "Œillet", "clé", "K", "\u212A",
                                        "ΣΦΙΓΚΤΉΡΑΣ", "m8", "x", "ro", "ROND", "'", "[", "#", "*", "?", "-", "100%", "5µm"};
    std::vector<std::optional<std::string>> out;
    for (int i = 0; i < count; ++i) {
        if (random() % 40 == 0) {
            out.emplace_back(std::nullopt);
            continue;
        }
        std::string text;
        for (unsigned n = 1 + random() % 5; n > 0; --n) {
            text += words[random() % std::size(words)];
            text += (random() % 3 == 0) ? "" : " ";
        }
        out.emplace_back(text);
    }
    return out;
}

std::string randomQuery(std::mt19937 &random, const std::vector<std::optional<std::string>> &designations)
{
    static const char *const patternParts[] = {"?", "#", "[a-m]", "[!x]", "*", "é", "K", "\u212A", "''", "ro"};
    switch (random() % 3) {
    case 0: { // part of a designation, cut at character boundaries
        const auto &source = designations[random() % designations.size()];
        if (!source || source->empty())
            return "vis";
        std::vector<std::size_t> boundaries;
        for (std::size_t i = 0; i <= source->size(); ++i)
            if (i == source->size() || (static_cast<unsigned char>((*source)[i]) & 0xC0) != 0x80)
                boundaries.push_back(i);
        const std::size_t from = boundaries[random() % boundaries.size()];
        std::size_t to = boundaries[random() % boundaries.size()];
        if (to < from)
            to = from;
        // At most twelve bytes, backing off to a boundary again: a cut
        // character is not text anyone could type.
        std::size_t end = std::min<std::size_t>(to, from + 12);
        while (end < source->size() && (static_cast<unsigned char>((*source)[end]) & 0xC0) == 0x80)
            --end;
        std::string part = source->substr(from, end - from);
        std::string escaped;
        for (const char c : part) {
            if (c == '\'')
                escaped += "''";
            else if (c == '[' || c == '#' || c == '*' || c == '?')
                escaped += std::string("[") + c + "]";
            else
                escaped += c;
        }
        return escaped;
    }
    case 1: { // random letters
        std::string letters;
        for (unsigned n = 2 + random() % 3; n > 0; --n)
            letters += static_cast<char>((random() % 2 ? 'a' : 'A') + random() % 26);
        return letters;
    }
    default: { // pattern characters among letters
        std::string pattern;
        for (unsigned n = 1 + random() % 4; n > 0; --n)
            pattern += random() % 2 ? patternParts[random() % std::size(patternParts)]
                                    : std::string(1, static_cast<char>('a' + random() % 26));
        return pattern;
    }
    }
}

// Unquotes the doubled apostrophes the query text carries.
std::vector<std::string> referenceMatches(const std::vector<std::optional<std::string>> &designations,
                                          const std::string &queryPart)
{
    std::string pattern = "*";
    for (std::size_t i = 0; i < queryPart.size(); ++i) {
        pattern += queryPart[i];
        if (queryPart[i] == '\'' && i + 1 < queryPart.size() && queryPart[i + 1] == '\'')
            ++i;
    }
    pattern += "*";
    const auto compiled = LikePattern::compile(pattern);
    std::vector<std::string> rows;
    if (!compiled.ok())
        return rows;
    for (const auto &value : designations)
        if (value && compiled.value().matches(folded(*value)))
            rows.push_back(*value);
    return rows;
}

TEST(SameAnswersTest, KeptAndIndexedSearchesMatchEveryRowOneByOne)
{
    std::mt19937 random(20261208);
    const auto designations = randomDesignations(random, 4000);
    std::vector<mdb_writer::Row> rows;
    for (const auto &value : designations)
        rows.push_back({value ? mdb_writer::Cell(*value) : mdb_writer::Cell(Null{})});
    TempDir dir;
    const std::string path = dir.file("random.mdb");
    testing_support::writeOrFail(path, {testing_support::table("ARTICLE", {{"ARTICLE", mdb_writer::ColumnType::Text, 80}},
                                                               std::move(rows))});

    Engine engine;
    const auto database = openOrFail(engine, path);
    ASSERT_TRUE(database);
    int matched = 0;
    for (int i = 0; i < 600; ++i) {
        const std::string part = randomQuery(random, designations);
        const auto expected = referenceMatches(designations, part);
        auto opened = database->openRecordset(searchFor(part));
        if (!opened.ok()) {
            EXPECT_EQ(opened.status(), Status::InvalidPattern) << part;
            continue;
        }
        matched += !expected.empty();
        EXPECT_EQ(search(*database, searchFor(part)).rows, expected) << part;
    }
    // Queries drawn from the designations must find rows, or the comparison
    // says little.
    EXPECT_GT(matched, 150);
}

// A column of several megabytes is scanned in two halves at once; once it
// is indexed, a literal on a row in forty ("qzx") is checked through the
// index, its thousands of candidates in two halves, and one on most rows
// is scanned still: the rows must be those of one pass, in order, whether
// the index is built or not.
TEST(SameAnswersTest, LargeColumnSearchedInHalvesMatchesEveryRowOneByOne)
{
    std::mt19937 random(20261209);
    auto designations = randomDesignations(random, 600000);
    for (std::size_t row = 0; row < designations.size(); row += 40)
        if (designations[row])
            *designations[row] += " QZX";
    ColumnValues values;
    for (const auto &value : designations) {
        values.text += value.value_or("");
        values.endRow(!value);
    }
    const auto rowCount = static_cast<std::uint32_t>(designations.size());
    std::vector<ColumnValues> columns;
    columns.push_back(std::move(values));
    const Snapshot snapshot({"ARTICLE"}, std::move(columns), rowCount);
    ASSERT_GT(snapshot.column(0)->text.size(), 4u << 20);

    const std::string parts[] = {"ro", "vis", "rond", "inox", "é", "k", "œillet", "zz", "m8 x", "100%", "µ", "qzx"};
    std::vector<std::vector<std::uint32_t>> scanned;
    for (const std::string &part : parts) {
        const std::string needle = folded(part);
        std::vector<std::uint32_t> expected;
        for (std::uint32_t row = 0; row < rowCount; ++row)
            if (designations[row] && folded(*designations[row]).find(needle) != std::string::npos)
                expected.push_back(row);
        const auto pattern = LikePattern::compile("*" + part + "*");
        ASSERT_TRUE(pattern.ok()) << part;
        scanned.push_back(selectRows(snapshot, 0, pattern.value()));
        EXPECT_EQ(scanned.back(), expected) << part;
    }
    ASSERT_NE(snapshot.bigrams(0), nullptr);
    for (std::size_t i = 0; i < std::size(parts); ++i)
        EXPECT_EQ(selectRows(snapshot, 0, LikePattern::compile("*" + parts[i] + "*").value()), scanned[i]) << parts[i];
}

// Found in use: after "Fermer" on a large file the process stayed for about
// a second, because dropping the database waited for the start-up read of
// the table to reach its last row; the cache now stops that read where it
// stands. This test first counted the process's reads while the read ran
// freely, and failed on a busy machine: the file's change time was still
// "now" when the read began, so the content hash read the whole file twice
// before any row, and nothing stopped the hash. The hash stops too now, and
// the read waits at a gate until the stop has been asked for, under a clock
// that says whether the file's times can be trusted.
struct StopCase {
    const char *name;
    std::int64_t clockNs;
};

void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }

class StartUpReadTest : public testing::TestWithParam<StopCase> {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TempDir;
        s_path = s_dir->file("articles.mdb");
        // Many times larger than what the readers take in before they next
        // look at the stop.
        testing_support::writeOrFail(s_path, {articles(1'000'000)});
    }
    static void TearDownTestSuite() { delete s_dir; }

    static TempDir *s_dir;
    static std::string s_path;
};

TempDir *StartUpReadTest::s_dir = nullptr;
std::string StartUpReadTest::s_path;

TEST_P(StartUpReadTest, StoppingTheCacheEndsTheReadWhereItStands)
{
    testing_support::GatedSystem system(GetParam().clockNs);
    auto opened = SnapshotCache::open(system, s_path, std::make_shared<WorkerPool>(2));
    ASSERT_TRUE(opened.ok()) << describe(opened.status());
    std::shared_ptr<SnapshotCache> cache = std::move(opened.value());

    system.close();
    cache->preload("ARTICLE", "ARTICLE");
    system.waitForAHeldRead();
    const std::uint64_t before = system.bytesRead();
    cache->stop();
    system.open();
    cache.reset();
    EXPECT_LT(system.bytesRead() - before, std::filesystem::file_size(s_path) / 4);
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, StartUpReadTest,
    testing::Values(
        // Every file time behind the clock: the rows are read straight away.
        StopCase{"rows_read_first", std::numeric_limits<std::int64_t>::max()},
        // None behind it: the file's bytes are hashed before its rows are read.
        StopCase{"bytes_hashed_first", std::numeric_limits<std::int64_t>::min()}),
    [](const testing::TestParamInfo<StopCase> &info) { return std::string(info.param.name); });

// The index build waits while a search runs. Closing the window cancels
// it; a build left waiting for a search that never ended would hold the
// process open at "Fermer".
TEST(BigramIndexTest, CancelEndsABuildWaitingForASearch)
{
    ColumnValues column;
    for (int row = 0; row < 200000; ++row) {
        column.text += "RONDELLE M8 INOX";
        column.endRow(false);
    }
    const OtherFolds others;
    const SearchText text{column.text, column.offsets.data(), &column.nulls, &others};
    auto pool = std::make_shared<WorkerPool>(1);
    std::atomic<bool> started{false};
    std::atomic<bool> ended{false};
    std::unique_ptr<const BigramIndex> built;
    {
        const WorkerPool::Foreground searching(pool.get());
        WorkerPool::Group group(pool);
        group.post([&](const WorkToken &work) {
            started = true;
            built = BigramIndex::build(text, &work);
            ended = true;
        });
        while (!started)
            std::this_thread::yield();
        group.cancelAndWait();
        EXPECT_TRUE(ended);
    }
    EXPECT_EQ(built, nullptr);
    const auto index = BigramIndex::build(text);
    ASSERT_NE(index, nullptr);
    RowList candidates{1, 2, 3};
    index->candidates("m8", candidates);
    EXPECT_EQ(candidates.size(), 200000u);
}

TEST(ContentHashTest, TellsOneByteAndStopsWhenAsked)
{
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    std::string bytes(1 << 20, 'x');
    testing_support::writeBytes(path, bytes);
    testing_support::GatedSystem system(0);
    std::vector<char> buffer;

    const std::atomic<bool> stopped{true};
    EXPECT_FALSE(FileState::capture(system, path, buffer, &stopped));
    EXPECT_EQ(system.bytesRead(), 0u);

    const std::atomic<bool> running{false};
    const auto first = FileState::capture(system, path, buffer, &running);
    ASSERT_TRUE(first);
    EXPECT_EQ(system.bytesRead(), bytes.size());
    bytes[bytes.size() - 1] = 'y';
    testing_support::writeBytes(path, bytes);
    const auto second = FileState::capture(system, path, buffer, &running);
    ASSERT_TRUE(second);
    const auto changed = first->changedPages(*second);
    ASSERT_TRUE(changed);
    EXPECT_NE(*changed, std::vector<std::uint32_t>{});
}

} // namespace
} // namespace jet_engine
