// The designation generator and the demo database built from it.

#include "child_process.h"
#include "designations.h"
#include "jet_text.h"
#include "read_back.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

using namespace writer_test;
using test_support::Output;
using test_support::run;

namespace {

constexpr std::size_t kSample = 20000;

bool hasLowerAscii(const std::string &s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

TEST(Designations, DependOnlyOnSeedAndIndex)
{
    const std::string late = designations::designation(42, 9999);
    for (std::size_t i = 0; i < 100; ++i)
        designations::designation(42, i);
    EXPECT_EQ(designations::designation(42, 9999), late);

    std::size_t differ = 0;
    for (std::size_t i = 0; i < 1000; ++i)
        differ += designations::designation(42, i) != designations::designation(43, i);
    EXPECT_GT(differ, 950u) << "another seed gives another catalogue";
}

TEST(Designations, LookLikeAHardwareCatalogue)
{
    std::set<std::string> words;
    std::set<std::string> distinct;
    std::size_t mixedCase = 0, apostrophes = 0, accented = 0, metric = 0, missing = 0;
    std::u16string units;
    for (std::size_t i = 0; i < kSample; ++i) {
        const std::string d = designations::designation(1, i);
        ASSERT_FALSE(d.empty());
        ASSERT_TRUE(mdb_writer::jet_text::toUtf16(d, units)) << d;
        ASSERT_LE(units.size(), static_cast<std::size_t>(designations::kMaxDesignationChars)) << d;
        EXPECT_EQ(d.find("  "), std::string::npos) << d;
        distinct.insert(d);
        mixedCase += hasLowerAscii(d);
        apostrophes += d.find('\'') != std::string::npos;
        accented += d.find("É") != std::string::npos || d.find("é") != std::string::npos;
        metric += d.find("M8X") != std::string::npos || d.find("M8x") != std::string::npos;
        missing += designations::missing(1, i);
        std::size_t start = 0;
        while (start < d.size()) {
            std::size_t end = d.find(' ', start);
            if (end == std::string::npos)
                end = d.size();
            const std::string word = d.substr(start, end - start);
            if (!word.empty() && !std::isdigit(static_cast<unsigned char>(word[0])))
                words.insert(word);
            start = end + 1;
        }
    }
    EXPECT_GT(distinct.size(), kSample * 9 / 10);
    EXPECT_GT(mixedCase, kSample * 7 / 100);
    EXPECT_LT(mixedCase, kSample * 13 / 100);
    EXPECT_GT(apostrophes, kSample / 100);
    EXPECT_GT(accented, kSample / 20);
    EXPECT_GT(metric, 0u);
    EXPECT_GT(missing, 0u);
    EXPECT_LT(missing, kSample / 100);
    EXPECT_GT(words.size(), 300u) << "a vocabulary of a few hundred words";
}

TEST(Designations, ArticleTableStreamsTheCatalogue)
{
    const mdb_writer::Table t = designations::articleTable(5, 100000);
    ASSERT_EQ(t.columns.size(), 3u);
    EXPECT_EQ(t.columns[0].name, "ARTICLE");
    EXPECT_EQ(t.columns[0].type, mdb_writer::ColumnType::Text);
    EXPECT_EQ(t.rowCount, 100000u);
    std::set<std::int32_t> references;
    mdb_writer::Row row;
    for (std::size_t i = 0; i < t.rowCount; ++i) {
        row.assign(3, mdb_writer::Null{});
        t.generate(i, row);
        if (designations::missing(5, i)) {
            ASSERT_TRUE(std::holds_alternative<mdb_writer::Null>(row[0])) << i;
        } else {
            ASSERT_EQ(std::get<std::string>(row[0]), designations::designation(5, i)) << i;
        }
        references.insert(std::get<std::int32_t>(row[1]));
        const double price = std::get<double>(row[2]);
        ASSERT_GT(price, 0.0);
        ASSERT_EQ(price, static_cast<double>(static_cast<long>(price * 100 + 0.5)) / 100) << "whole cents";
    }
    EXPECT_EQ(references.size(), t.rowCount) << "references are unique";
}

std::string fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DemoDatabase, HoldsTheDemoCatalogueAndIsReproducible)
{
    TempDir dir;
    const std::string path = dir.file("TABLEARTICLE.MDB");
    const Output first = run({DEMO_DATABASE_PROGRAM, path});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string bytes = fileBytes(path);
    ASSERT_EQ(run({DEMO_DATABASE_PROGRAM, path}).status, 0);
    EXPECT_EQ(fileBytes(path), bytes) << "a second run writes the same file";

    const std::vector<PrintedRow> rows = exportCsv(path, "ARTICLE");
    ASSERT_EQ(rows.size(), designations::kDemoArticles + 1);
    EXPECT_EQ(rows[0].front(), "ARTICLE");
    std::size_t nulls = 0;
    for (std::size_t i = 0; i < designations::kDemoArticles; ++i) {
        const Printed &shown = rows[i + 1].front();
        if (designations::missing(designations::kDemoSeed, i)) {
            ++nulls;
            EXPECT_FALSE(shown) << "row " << i;
        } else {
            EXPECT_EQ(shown, designations::designation(designations::kDemoSeed, i)) << "row " << i;
        }
    }
    EXPECT_GT(nulls, 0u);
}

TEST(DemoDatabase, WantsExactlyOneOutputPath)
{
    const Output o = run({DEMO_DATABASE_PROGRAM});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("usage"), std::string::npos);
}

} // namespace
