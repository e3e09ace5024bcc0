// The start-up read of a large table, watched through the bytes the process
// reads (Linux's /proc/self/io).

#include "article_database/engine.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>

namespace article_database {
namespace {

using testing_support::TempDir;

// Bytes this process has asked the kernel to read so far, page cache or not.
std::uint64_t bytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

mdb_writer::Table articles(int count)
{
    std::vector<mdb_writer::Row> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        rows.push_back({"ARTICLE " + std::to_string(1'000'000 + i), i});
    return testing_support::table(
        "ARTICLE", {{"ARTICLE", mdb_writer::ColumnType::Text, 40}, {"REFERENCE", mdb_writer::ColumnType::LongInteger}},
        std::move(rows));
}

// Found in use: after "Fermer" on a large file the process stayed for about a
// second, because dropping the database waited for the start-up read of the
// table to reach its last row. Released right after the table is opened, the
// database must stop that read where it is.
TEST(StartUpReadTest, ReleasingTheDatabaseStopsTheReadOfTheTable)
{
    TempDir dir;
    const std::string path = dir.file("articles.mdb");
    // Large enough that the read takes far longer than the release below.
    testing_support::writeOrFail(path, {articles(1'000'000)});
    // Times well behind the clock: nothing but the rows is read.
    const timespec past{time(nullptr) - 3600, 0};
    const timespec times[2] = {past, past};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto size = std::filesystem::file_size(path);

    const std::uint64_t before = bytesRead();
    {
        Engine engine;
        auto database = engine.openDatabase(path, false, true);
        ASSERT_TRUE(database.ok()) << describe(database.status());
        ASSERT_TRUE(database.value()->openRecordset(u"ARTICLE").ok());
    }
    EXPECT_LT(bytesRead() - before, size / 2);
}

} // namespace
} // namespace article_database
