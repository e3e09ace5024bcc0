// The article-query tool, run as a separate process.

#include "child_process.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace jet_engine {
namespace {

using mdb_writer::Cell;
using mdb_writer::ColumnType;
using mdb_writer::Null;
using testing_support::TempDir;

test_support::Output runTool(std::vector<std::string> args)
{
    args.insert(args.begin(), ARTICLE_QUERY_PATH);
    return test_support::run(args);
}

const std::vector<Cell> designations = {std::string("Vis à bois 4x40"), Null{}, std::string("ÉCROU M6"),
                                        std::string(""), std::string("Écrou m8"), std::string("l'été")};

// The tool writes text as the system writes it: with CR LF on Windows.
#ifdef _WIN32
constexpr const char *newline = "\r\n";
#else
constexpr const char *newline = "\n";
#endif

std::string lines(const std::vector<std::string> &values)
{
    std::string out;
    for (const std::string &value : values)
        out += value + newline;
    return out;
}

struct ToolCase {
    const char *name;
    std::vector<std::string> args; // "DB" stands for the test database
    int exitCode;
    std::string out;
    const char *errContains; // nullptr: nothing on stderr
};

void PrintTo(const ToolCase &c, std::ostream *os) { *os << c.name; }

// Every non-null designation, in stored order, the way the grid lists them.
std::string allDesignations()
{
    std::vector<std::string> values;
    for (const Cell &cell : designations)
        if (const auto *text = std::get_if<std::string>(&cell))
            values.push_back(*text);
    return lines(values);
}

class ArticleQueryTest : public testing::TestWithParam<ToolCase> {
protected:
    void SetUp() override
    {
        std::vector<mdb_writer::Row> articles;
        for (const Cell &cell : designations)
            articles.push_back({cell});
        testing_support::writeOrFail(
            m_dir.file("db.mdb"),
            {testing_support::table("ARTICLE", {{"ARTICLE", ColumnType::Text, 60}}, articles),
             testing_support::table("CODES", {{"CODE", ColumnType::LongInteger}, {"NOM", ColumnType::Text, 10}},
                                    {{-5, std::string("a")}, {0, std::string("b")}, {123456, Null{}}})});
        testing_support::writeBytes(m_dir.file("notes.mdb"), std::string(10000, 'n'));
    }

    TempDir m_dir;
};

TEST_P(ArticleQueryTest, PrintsFirstColumnOrSaysWhatFailed)
{
    std::vector<std::string> args = GetParam().args;
    for (std::string &arg : args)
        if (arg == "DB" || arg == "NOTES")
            arg = m_dir.file(arg == "DB" ? "db.mdb" : "notes.mdb");
    const test_support::Output run = runTool(args);
    EXPECT_EQ(run.status, GetParam().exitCode);
    EXPECT_EQ(run.out, GetParam().out);
    if (GetParam().errContains)
        EXPECT_NE(run.err.find(GetParam().errContains), std::string::npos) << run.err;
    else
        EXPECT_EQ(run.err, "");
}

std::vector<ToolCase> toolCases()
{
    std::vector<ToolCase> cases = {
        ToolCase{"whole_table_skips_nulls", {"DB", "ARTICLE"}, 0, allDesignations(), nullptr},
        ToolCase{"search", {"DB", "SELECT * FROM ARTICLE Where ARTICLE like '*ÉCROU*'"}, 0,
                 lines({"ÉCROU M6", "Écrou m8"}), nullptr},
        ToolCase{"search_with_apostrophe", {"DB", "SELECT * FROM ARTICLE Where ARTICLE like '*L''ÉTÉ*'"}, 0,
                 lines({"l'été"}), nullptr},
        ToolCase{"nothing_found", {"DB", "SELECT * FROM ARTICLE Where ARTICLE like '*ZZZ*'"}, 0, "", nullptr},
        ToolCase{"integers_as_digits", {"DB", "CODES"}, 0, lines({"-5", "0", "123456"}), nullptr},
        ToolCase{"missing_database", {"/nonexistent/TABLEARTICLE.MDB", "ARTICLE"}, 1, "", "database file not found"},
        ToolCase{"not_a_database", {"NOTES", "ARTICLE"}, 1, "", "not a readable Jet database"},
        ToolCase{"unknown_table", {"DB", "CLIENT"}, 1, "", "no such table"},
        ToolCase{"unknown_column", {"DB", "SELECT * FROM ARTICLE WHERE CODE LIKE '*'"}, 1, "", "no such column"},
        ToolCase{"bad_syntax", {"DB", "SELECT ARTICLE FROM ARTICLE"}, 1, "", "query syntax error"},
        ToolCase{"bad_pattern", {"DB", "SELECT * FROM ARTICLE WHERE ARTICLE LIKE '[Z-A]'"}, 1, "",
                 "invalid LIKE pattern"},
        // DELETE was once looked up as a table and reported "no such table".
        ToolCase{"delete_statement", {"DB", "DELETE FROM ARTICLE"}, 1, "", "unsupported query"},
        ToolCase{"bracketed_table", {"DB", "[CODES]"}, 0, lines({"-5", "0", "123456"}), nullptr},
        ToolCase{"no_arguments", {}, 2, "", "usage"},
        ToolCase{"one_argument", {"DB"}, 2, "", "usage"},
        ToolCase{"three_arguments", {"DB", "ARTICLE", "extra"}, 2, "", "usage"},
        ToolCase{"options_ended", {"--", "DB", "CODES"}, 0, lines({"-5", "0", "123456"}), nullptr},
        ToolCase{"version", {"--version"}, 0, lines({"article-query " FICHE_VERSION}), nullptr},
        ToolCase{"unknown_option", {"--verbose", "DB", "ARTICLE"}, 2, "", "unknown option --verbose"},
    };
#ifndef _WIN32
    // Windows hands a program its arguments as UTF-16, never as bytes.
    cases.insert(cases.end(),
                 {
                     // Typed in a Latin-1 terminal: searching for U+FFFD
                     // instead would find nothing and say nothing.
                     ToolCase{"query_not_utf8", {"DB", "SELECT * FROM ARTICLE Where ARTICLE like '*\xC9" "CROU*'"}, 2,
                              "", "not valid UTF-8"},
                     ToolCase{"query_with_encoded_surrogate", {"DB", "\xED\xA0\x80"}, 2, "", "not valid UTF-8"},
                 });
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Runs, ArticleQueryTest, testing::ValuesIn(toolCases()),
                         [](const testing::TestParamInfo<ToolCase> &info) { return std::string(info.param.name); });

// Help goes to stdout and succeeds, so that `article-query --help | less`
// works; its text is not pinned beyond the usage line.
struct HelpCase {
    const char *name;
    std::vector<std::string> args;
};

void PrintTo(const HelpCase &c, std::ostream *os) { *os << c.name; }

class ArticleQueryHelpTest : public testing::TestWithParam<HelpCase> {};

TEST_P(ArticleQueryHelpTest, PrintsUsageOnStdout)
{
    const test_support::Output run = runTool(GetParam().args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: article-query", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Exit status"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(Options, ArticleQueryHelpTest,
                         testing::Values(HelpCase{"long", {"--help"}}, HelpCase{"short", {"-h"}},
                                         HelpCase{"after_operands", {"db.mdb", "ARTICLE", "--help"}}),
                         [](const testing::TestParamInfo<HelpCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
