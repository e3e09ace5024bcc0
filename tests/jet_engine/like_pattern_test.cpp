#include "jet_engine/query/like_pattern.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/query/text_fold.h"

#include <gtest/gtest.h>

namespace jet_engine {
namespace {

enum class Expect { Match, NoMatch, Invalid };

struct LikeCase {
    const char *name;
    const char *pattern;
    const char *text;
    Expect expect;
};

const LikeCase likeCases[] = {
    {"star_matches_empty_text", "*", "", Expect::Match},
    {"star_matches_any_text", "*", "vis", Expect::Match},
    {"star_spans_a_run", "a*c", "abbbc", Expect::Match},
    {"star_spans_nothing", "a*c", "ac", Expect::Match},
    {"contains", "*vis*", "Vis à bois", Expect::Match},
    {"contains_absent", "*vis*", "boulon", Expect::NoMatch},
    {"whole_value_only", "vis", "vis à bois", Expect::NoMatch},
    {"prefix", "vis*", "vis à bois", Expect::Match},
    {"prefix_elsewhere", "vis*", "une vis", Expect::NoMatch},
    {"suffix", "*bois", "vis à bois", Expect::Match},
    {"suffix_elsewhere", "*bois", "bois flotté", Expect::NoMatch},
    {"prefix_and_suffix_overlap", "a*a", "a", Expect::NoMatch},
    {"segments_in_order", "*ab*ab", "abab", Expect::Match},
    {"segments_too_few", "*ab*ab", "aba", Expect::NoMatch},
    {"question_one_character", "v?s", "vis", Expect::Match},
    {"question_not_zero", "v?s", "vs", Expect::NoMatch},
    {"question_not_two", "v?s", "viis", Expect::NoMatch},
    {"question_two_byte_character", "?", "é", Expect::Match},
    {"question_astral_character", "?", "😀", Expect::Match},
    {"question_after_star_backtracks", "*a?c", "abcabc", Expect::Match},
    {"hash_digit", "#", "7", Expect::Match},
    {"hash_letter", "#", "a", Expect::NoMatch},
    {"hash_one_digit_only", "a#b", "a12b", Expect::NoMatch},
    {"hash_after_star", "*a#*b", "xa1yb", Expect::Match},
    {"set_member", "[abc]", "b", Expect::Match},
    {"set_non_member", "[abc]", "d", Expect::NoMatch},
    {"range_ignores_case", "[a-c]x", "BX", Expect::Match},
    {"range_outside", "[a-c]", "d", Expect::NoMatch},
    {"negated_set", "[!abc]", "d", Expect::Match},
    {"negated_set_member", "[!abc]", "a", Expect::NoMatch},
    {"negated_range_ignores_case", "[!a-c]", "B", Expect::NoMatch},
    {"set_of_accented", "[éè]t[éè]", "ÉTÉ", Expect::Match},
    {"bracketed_star_literal", "a[*]b", "a*b", Expect::Match},
    {"bracketed_star_not_wild", "a[*]b", "axb", Expect::NoMatch},
    {"bracketed_question_literal", "[?]", "?", Expect::Match},
    {"bracketed_question_not_wild", "[?]", "x", Expect::NoMatch},
    {"bracketed_hash_literal", "[#]", "#", Expect::Match},
    {"bracketed_hash_not_digit", "[#]", "1", Expect::NoMatch},
    {"bracketed_open_bracket", "*[[]*", "a[b", Expect::Match},
    {"bang_outside_set", "a!", "a!", Expect::Match},
    {"dash_first_in_set", "[-a]", "-", Expect::Match},
    {"dash_first_not_range", "[-a]", "b", Expect::NoMatch},
    {"dash_last_in_set", "[a-]", "-", Expect::Match},
    {"close_bracket_outside_set", "a]", "a]", Expect::Match},
    {"percent_is_plain", "a%", "a%", Expect::Match},
    {"percent_not_wild", "a%", "abc", Expect::NoMatch},
    {"underscore_is_plain", "a_c", "a_c", Expect::Match},
    {"underscore_not_wild", "a_c", "abc", Expect::NoMatch},
    {"empty_brackets_ignored", "a[]b", "ab", Expect::Match},
    {"unclosed_bracket", "a[bc", "abc", Expect::Invalid},
    {"unclosed_bracket_after_star", "*[", "", Expect::Invalid},
    {"descending_range", "[z-a]", "m", Expect::Invalid},
    {"descending_range_upper", "[Z-A]", "M", Expect::Invalid},
    {"upper_pattern_mixed_text", "*VIS À BOIS*", "Vis à Bois 4x40", Expect::Match},
    {"accent_case", "É", "é", Expect::Match},
    {"accent_case_in_contains", "*L'ÉTÉ*", "fin de l'été", Expect::Match},
    {"greek_case", "*ΣΟΦΙΑ*", "σοφια", Expect::Match},
    {"cyrillic_case", "*ВИНТ*", "винт", Expect::Match},
    {"accent_sensitive_upper", "E", "É", Expect::NoMatch},
    {"accent_sensitive_lower", "*e*", "é", Expect::NoMatch},
    {"empty_pattern_empty_text", "", "", Expect::Match},
    {"empty_pattern_text", "", "a", Expect::NoMatch},
    {"question_needs_a_character", "?", "", Expect::NoMatch},
    {"contains_in_empty_text", "*a*", "", Expect::NoMatch},
};

void PrintTo(const LikeCase &c, std::ostream *os) { *os << c.name; }

class LikePatternTest : public testing::TestWithParam<LikeCase> {};

TEST_P(LikePatternTest, MatchesValue)
{
    const LikeCase &c = GetParam();
    const auto pattern = LikePattern::compile(c.pattern);
    if (c.expect == Expect::Invalid) {
        EXPECT_EQ(pattern.status(), Status::InvalidPattern);
        return;
    }
    ASSERT_TRUE(pattern.ok());
    EXPECT_EQ(pattern.value().matches(folded(c.text)), c.expect == Expect::Match);
}

// The same cases through a whole column, where the literal fast path scans
// one buffer for all rows: a null row before and after, the value twice.
TEST_P(LikePatternTest, SelectsRowsOfColumn)
{
    const LikeCase &c = GetParam();
    const auto pattern = LikePattern::compile(c.pattern);
    if (c.expect == Expect::Invalid)
        return;
    ASSERT_TRUE(pattern.ok());

    ColumnValues values;
    const std::string text = c.text;
    for (bool isNull : {true, false, false, true}) {
        if (!isNull)
            values.text += text;
        values.endRow(isNull);
    }
    std::vector<ColumnValues> columns;
    columns.push_back(std::move(values));
    const Snapshot snapshot({"ARTICLE"}, std::move(columns), 4);

    const std::vector<std::uint32_t> expected =
        c.expect == Expect::Match ? std::vector<std::uint32_t>{1, 2} : std::vector<std::uint32_t>{};
    EXPECT_EQ(selectRows(snapshot, 0, pattern.value()), expected);
}

INSTANTIATE_TEST_SUITE_P(Jet, LikePatternTest, testing::ValuesIn(likeCases),
                         [](const testing::TestParamInfo<LikeCase> &info) { return std::string(info.param.name); });

struct ScanCase {
    const char *name;
    std::vector<const char *> rows; // nullptr: a null value
    const char *pattern;
    std::vector<std::uint32_t> expected;
};

void PrintTo(const ScanCase &c, std::ostream *os) { *os << c.name; }

class ColumnScanTest : public testing::TestWithParam<ScanCase> {};

TEST_P(ColumnScanTest, ListsEachMatchingRowOnceInOrder)
{
    const ScanCase &c = GetParam();
    ColumnValues values;
    for (const char *row : c.rows) {
        if (row)
            values.text += row;
        values.endRow(row == nullptr);
    }
    std::vector<ColumnValues> columns;
    columns.push_back(std::move(values));
    const Snapshot snapshot({"ARTICLE"}, std::move(columns), static_cast<std::uint32_t>(c.rows.size()));
    const auto pattern = LikePattern::compile(c.pattern);
    ASSERT_TRUE(pattern.ok());
    // Searches scan until the column's index is built, then use it: both
    // must answer alike, into fresh lists or into lists a longer answer
    // left behind.
    const auto intoKeptLists = [&] {
        const auto lists = std::make_shared<RowLists>();
        lists->share(RowList{9, 9, 9, 9, 9, 9, 9});
        return selectRows(snapshot, 0, pattern.value(), nullptr, lists.get());
    };
    EXPECT_EQ(selectRows(snapshot, 0, pattern.value()), c.expected) << "scanned";
    EXPECT_EQ(intoKeptLists(), c.expected) << "scanned into kept lists";
    snapshot.bigrams(0);
    EXPECT_EQ(selectRows(snapshot, 0, pattern.value()), c.expected) << "indexed";
    EXPECT_EQ(intoKeptLists(), c.expected) << "indexed into kept lists";
}

INSTANTIATE_TEST_SUITE_P(
    Scan, ColumnScanTest,
    testing::Values(ScanCase{"no_match_across_rows", {"ab", "cd"}, "*bc*", {}},
                    ScanCase{"several_hits_one_row", {"aXa", "b", "XXX"}, "*x*", {0, 2}},
                    ScanCase{"adjacent_rows", {"vis", "VIS", "Vis"}, "*VIS*", {0, 1, 2}},
                    ScanCase{"nulls_never_match", {nullptr, "", nullptr}, "*", {1}},
                    ScanCase{"last_row", {"a", "b", "c", "xbx"}, "*B*", {1, 3}},
                    ScanCase{"empty_column", {}, "*a*", {}}),
    [](const testing::TestParamInfo<ScanCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine

namespace jet_engine {
namespace {

// Needles of every length placed at every offset of rows long enough for the
// sixteen-byte steps of the column scan, with near misses (first and last
// byte right, middle wrong) around them; checked against a plain search.
TEST(ColumnScanSearchTest, AgreesWithPlainSearchAtEveryOffset)
{
    const std::string alphabet = "abcdefghij";
    for (std::size_t length = 1; length <= 20; ++length) {
        std::string needle;
        for (std::size_t i = 0; i < length; ++i)
            needle.push_back(alphabet[(i * 7 + length) % alphabet.size()]);
        std::string nearMiss = needle;
        if (length >= 3)
            nearMiss[length / 2] = 'z';

        ColumnValues values;
        std::vector<std::string> rows;
        for (std::size_t offset = 0; offset < 40; ++offset) {
            std::string row(offset, 'x');
            row += (offset % 3 == 0) ? nearMiss : needle;
            row += std::string(offset % 17, 'y');
            rows.push_back(row);
            rows.push_back(std::string(offset, 'q'));
        }
        for (const std::string &row : rows) {
            values.text += row;
            values.endRow(0);
        }
        std::vector<ColumnValues> columns;
        columns.push_back(std::move(values));
        const Snapshot snapshot({"ARTICLE"}, std::move(columns), static_cast<std::uint32_t>(rows.size()));

        std::vector<std::uint32_t> expected;
        for (std::uint32_t row = 0; row < rows.size(); ++row)
            if (rows[row].find(needle) != std::string::npos)
                expected.push_back(row);
        const auto pattern = LikePattern::compile("*" + needle + "*");
        ASSERT_TRUE(pattern.ok());
        EXPECT_EQ(selectRows(snapshot, 0, pattern.value()), expected) << "scanned, needle " << needle;
        snapshot.bigrams(0);
        EXPECT_EQ(selectRows(snapshot, 0, pattern.value()), expected) << "indexed, needle " << needle;
    }
}

} // namespace
} // namespace jet_engine
