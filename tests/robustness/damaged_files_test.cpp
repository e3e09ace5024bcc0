// The damaged files kept in damaged_files/ (its README tells where each
// came from), each given to article-query as a script would: whatever the
// damage, the program ends as its manual page says, 0 with the rows it
// could read or 1 with the reason, within a time limit, and says nothing on
// standard error but that one line.

#include "child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The tool writes text as the system writes it: with CR LF on Windows.
#ifdef _WIN32
constexpr std::string_view newline = "\r\n";
#else
constexpr std::string_view newline = "\n";
#endif

// Seconds for one run on a file of tens of kilobytes: far beyond what a
// working read takes, even under Wine on a loaded machine.
constexpr int timeLimit = 60;

std::vector<std::string> damagedFiles()
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(DAMAGED_FILES_DIR))
        if (entry.path().extension() == ".mdb")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One line from the program, in its own words.
bool oneLine(const std::string &text)
{
    return text.rfind("article-query: ", 0) == 0 && text.size() > newline.size() && text.find('\n') == text.size() - 1
        && text.compare(text.size() - newline.size(), newline.size(), newline) == 0;
}

class DamagedFileTest : public testing::TestWithParam<std::string> {};

TEST_P(DamagedFileTest, ArticleQueryEndsAsItsManualSays)
{
    const std::string path = (fs::path(DAMAGED_FILES_DIR) / GetParam()).string();
    // The whole table, a search, and a search of the memos, which only a
    // search of their column reads.
    for (const std::string query : {"ARTICLE", "SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*E*'",
                                     "SELECT * FROM ARTICLE WHERE NOTE LIKE '*n*'"}) {
        const test_support::Output run = test_support::run({ARTICLE_QUERY_PATH, "--", path, query}, timeLimit);
        SCOPED_TRACE(query);
        EXPECT_FALSE(run.timedOut);
        if (run.status == 0)
            EXPECT_EQ(run.err, "");
        else if (run.status == 1)
            EXPECT_TRUE(oneLine(run.err)) << run.err;
        else
            ADD_FAILURE() << "exit status " << run.status << "\n" << run.err;
    }
}

// A test's name takes letters, digits and underscores only.
std::string testName(const testing::TestParamInfo<std::string> &info)
{
    std::string name = fs::path(info.param).stem().string();
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedFileTest, testing::ValuesIn(damagedFiles()), testName);

// The files are found where the build says, or every run above is skipped.
TEST(DamagedFilesTest, AreFound)
{
    EXPECT_GE(damagedFiles().size(), 33u) << DAMAGED_FILES_DIR;
}

} // namespace
