// Found by reading the code: running out of memory was reported as "not a
// readable Jet database" when opening and as "reading the database failed"
// when reading, so a caller could not tell a full machine from a bad file.
// This binary replaces operator new so that a test can make large (or all)
// allocations fail for the length of one call.

#include "jet_engine/engine.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

std::atomic<std::size_t> failFrom{std::numeric_limits<std::size_t>::max()};

} // namespace

void *operator new(std::size_t size)
{
    if (size >= failFrom.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// Found by AddressSanitizer once the engine sorted a table's columns:
// std::stable_sort takes its buffer through the nothrow form, which came from
// the run-time's allocator and went back through free() below.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    if (size >= failFrom.load(std::memory_order_relaxed))
        return nullptr;
    return std::malloc(size ? size : 1);
}

void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }

namespace jet_engine {
namespace {

using testing_support::TempDir;

// Allocations of `from` bytes or more fail while it lives.
struct FailingAllocations {
    explicit FailingAllocations(std::size_t from) { failFrom = from; }
    ~FailingAllocations() { failFrom = std::numeric_limits<std::size_t>::max(); }
};

class OutOfMemoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::vector<mdb_writer::Row> rows;
        for (int i = 0; i < 100'000; ++i)
            rows.push_back({"VIS " + std::to_string(i)});
        testing_support::writeOrFail(m_path, {testing_support::table(
                                                  "ARTICLE", {{"ARTICLE", mdb_writer::ColumnType::Text, 40}}, std::move(rows))});
    }

    TempDir m_dir;
    const std::string m_path = m_dir.file("articles.mdb");
    Engine m_engine;
};

TEST_F(OutOfMemoryTest, OpeningTheDatabase)
{
    const FailingAllocations failing(1);
    const Status status = m_engine.openDatabase(m_path, false, false).status();
    EXPECT_EQ(status, Status::OutOfMemory) << describe(status);
}

TEST_F(OutOfMemoryTest, ReadingTheTableOpenedByName)
{
    auto database = m_engine.openDatabase(m_path, false, false);
    ASSERT_TRUE(database.ok());
    const FailingAllocations failing(1 << 20);
    auto table = database.value()->openRecordset(u"ARTICLE");
    ASSERT_TRUE(table.ok());
    const Status status = table.value()->moveFirst();
    EXPECT_EQ(status, Status::OutOfMemory) << describe(status);
}

TEST_F(OutOfMemoryTest, OpeningASearch)
{
    auto database = m_engine.openDatabase(m_path, false, false);
    ASSERT_TRUE(database.ok());
    const FailingAllocations failing(1 << 20);
    const Status status =
        database.value()->openRecordset(u"SELECT * FROM ARTICLE Where ARTICLE like '*VIS 9*'").status();
    EXPECT_EQ(status, Status::OutOfMemory) << describe(status);
}

} // namespace
} // namespace jet_engine
