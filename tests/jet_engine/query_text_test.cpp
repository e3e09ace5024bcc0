#include "jet_engine/query/query_text.h"

#include <gtest/gtest.h>

namespace jet_engine {
namespace {

struct QueryCase {
    const char *name;
    std::u16string text;
    Status status;
    std::string table;
    const char *column; // nullptr: no condition
    std::string pattern;
};

const QueryCase queryCases[] = {
    {"table_alone", u"ARTICLE", Status::Ok, "ARTICLE", nullptr, ""},
    {"table_in_brackets", u"[Order Details]", Status::Ok, "Order Details", nullptr, ""},
    {"table_with_space_bare", u"Order Details", Status::Ok, "Order Details", nullptr, ""},
    {"table_surrounded_by_spaces", u"  ARTICLE \n", Status::Ok, "ARTICLE", nullptr, ""},
    {"search_form", u"SELECT * FROM ARTICLE Where ARTICLE like '*VIS*'", Status::Ok, "ARTICLE", "ARTICLE", "*VIS*"},
    {"lower_case_keywords", u"select * from article where designation like 'a?'", Status::Ok, "article",
     "designation", "a?"},
    {"mixed_case_keywords", u"SeLeCt * FrOm ARTICLE wHeRe ARTICLE LiKe 'x'", Status::Ok, "ARTICLE", "ARTICLE", "x"},
    {"select_all", u"SELECT * FROM ARTICLE", Status::Ok, "ARTICLE", nullptr, ""},
    {"other_whitespace_and_semicolon", u"\tSELECT\n*\r\nFROM  ARTICLE  WHERE ARTICLE LIKE '*X*' ; ", Status::Ok,
     "ARTICLE", "ARTICLE", "*X*"},
    {"no_space_around_star", u"SELECT*FROM ARTICLE", Status::Ok, "ARTICLE", nullptr, ""},
    {"bracketed_names", u"SELECT * FROM [Order Details] WHERE [Product Name] LIKE '[[]*'", Status::Ok,
     "Order Details", "Product Name", "[[]*"},
    {"bracketed_keyword_as_name", u"SELECT * FROM [Where] WHERE [Like] LIKE 'a'", Status::Ok, "Where", "Like", "a"},
    {"doubled_apostrophe", u"SELECT * FROM ARTICLE Where ARTICLE like '*L''ÉTÉ*'", Status::Ok, "ARTICLE", "ARTICLE",
     "*L'ÉTÉ*"},
    {"only_apostrophes", u"SELECT * FROM ARTICLE Where ARTICLE like ''''''", Status::Ok, "ARTICLE", "ARTICLE", "''"},
    {"double_quoted_literal", u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE \"a\"\"b'c\"", Status::Ok, "ARTICLE",
     "ARTICLE", "a\"b'c"},
    {"empty_literal", u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE ''", Status::Ok, "ARTICLE", "ARTICLE", ""},
    {"non_ascii_names", u"SELECT * FROM Désignations WHERE Libellé LIKE 'é'", Status::Ok, "Désignations", "Libellé",
     "é"},
    {"empty_text", u"", Status::SyntaxError, "", nullptr, ""},
    {"blank_text", u"  \t ", Status::SyntaxError, "", nullptr, ""},
    {"column_list", u"SELECT ARTICLE FROM ARTICLE", Status::SyntaxError, "", nullptr, ""},
    {"no_table", u"SELECT * FROM", Status::SyntaxError, "", nullptr, ""},
    {"equals_not_like", u"SELECT * FROM ARTICLE WHERE ARTICLE = 'x'", Status::SyntaxError, "", nullptr, ""},
    {"unquoted_pattern", u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE x", Status::SyntaxError, "", nullptr, ""},
    {"unterminated_literal", u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE 'x", Status::SyntaxError, "", nullptr, ""},
    {"trailing_condition", u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE 'x' AND 1", Status::SyntaxError, "", nullptr,
     ""},
    {"where_without_condition", u"SELECT * FROM ARTICLE WHERE", Status::SyntaxError, "", nullptr, ""},
    {"unclosed_bracket_name", u"SELECT * FROM [ARTICLE", Status::SyntaxError, "", nullptr, ""},
    {"empty_bracketed_name", u"[]", Status::SyntaxError, "", nullptr, ""},
    {"bracket_then_text", u"[ARTICLE] x", Status::SyntaxError, "", nullptr, ""},
    // A DELETE was once taken for the name of a table and failed as "no such
    // table", as if the statement might have run on another database.
    {"delete_statement", u"DELETE FROM ARTICLE", Status::UnsupportedQuery, "", nullptr, ""},
    {"lower_case_update", u"update ARTICLE set ARTICLE = 'x'", Status::UnsupportedQuery, "", nullptr, ""},
    {"drop_statement", u"  DROP TABLE ARTICLE;", Status::UnsupportedQuery, "", nullptr, ""},
    {"insert_statement", u"INSERT INTO ARTICLE VALUES ('x')", Status::UnsupportedQuery, "", nullptr, ""},
    {"second_statement", u"ARTICLE; DROP TABLE ARTICLE", Status::UnsupportedQuery, "", nullptr, ""},
    {"keyword_alone_is_a_name", u"Delete", Status::Ok, "Delete", nullptr, ""},
    {"keyword_inside_a_name", u"Article Updates", Status::Ok, "Article Updates", nullptr, ""},
    {"keyword_prefix_of_a_word", u"Deleted Articles", Status::Ok, "Deleted Articles", nullptr, ""},
    {"bracketed_statement_words", u"[Delete Log]", Status::Ok, "Delete Log", nullptr, ""},
    {"bracketed_semicolon", u"[A; B]", Status::Ok, "A; B", nullptr, ""},
    {"select_after_other_text", u"ARTICLE SELECT", Status::Ok, "ARTICLE SELECT", nullptr, ""},
    {"qualified_name", u"db.ARTICLE", Status::SyntaxError, "", nullptr, ""},
    {"bang_in_name", u"ARTICLE!ARTICLE", Status::SyntaxError, "", nullptr, ""},
    {"control_character_in_name", u"ART\tICLE", Status::SyntaxError, "", nullptr, ""},
    {"apostrophe_in_name", u"l'été", Status::Ok, "l'été", nullptr, ""},
};

void PrintTo(const QueryCase &c, std::ostream *os) { *os << c.name; }

class QueryTextTest : public testing::TestWithParam<QueryCase> {};

TEST_P(QueryTextTest, Parses)
{
    const QueryCase &c = GetParam();
    const auto parsed = parseQueryText(c.text);
    ASSERT_EQ(parsed.status(), c.status);
    if (!parsed.ok())
        return;
    EXPECT_EQ(parsed.value().table, c.table);
    ASSERT_EQ(parsed.value().condition.has_value(), c.column != nullptr);
    if (c.column) {
        EXPECT_EQ(parsed.value().condition->column, c.column);
        EXPECT_EQ(parsed.value().condition->pattern, c.pattern);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, QueryTextTest, testing::ValuesIn(queryCases),
                         [](const testing::TestParamInfo<QueryCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
