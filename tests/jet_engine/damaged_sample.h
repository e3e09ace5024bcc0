#pragma once
// The sample file the damaged-file tests start from, and copies of it with
// random bytes changed.

#include "jet_engine/engine.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace jet_engine::testing_support {

// 400 articles with a code each, and every fortieth with a memo long enough
// to spread over long-value pages.
inline std::vector<mdb_writer::Table> sampleTables()
{
    auto article = table("ARTICLE",
                         {{"ARTICLE", mdb_writer::ColumnType::Text, 60},
                          {"CODE", mdb_writer::ColumnType::LongInteger},
                          {"NOTES", mdb_writer::ColumnType::Memo}},
                         {});
    article.rowCount = 400;
    article.generate = [](std::size_t index, mdb_writer::Row &row) {
        row[0] = "Article n° " + std::to_string(index);
        row[1] = static_cast<std::int32_t>(index);
        if (index % 40 == 0)
            row[2] = std::string(6000 + index, static_cast<char>('a' + index % 26));
    };
    return {article};
}

constexpr unsigned kDamagedCopies = 300;

// 1 to 40 random bytes changed anywhere in the file.
inline std::string damagedCopy(const std::string &good, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes = good;
    const unsigned changes = 1 + random() % 40;
    for (unsigned i = 0; i < changes; ++i)
        bytes[random() % bytes.size()] = static_cast<char>(random());
    return bytes;
}

// The sample written into a folder of the test's own, and its bytes.
class SampleFileTest : public testing::Test {
protected:
    void writeSample(mdb_writer::Format format)
    {
        m_good = m_dir.file("good.mdb");
        writeOrFail(m_good, sampleTables(), format);
        m_bytes = readBytes(m_good);
        m_pageSize = format == mdb_writer::Format::Jet3 ? 2048 : 4096;
        ASSERT_GT(m_bytes.size(), m_pageSize * 4);
    }

    TempDir m_dir;
    std::string m_good;
    std::string m_bytes;
    std::size_t m_pageSize = 0;
    Engine m_engine;
};

} // namespace jet_engine::testing_support
