// Case folding, one code point to one, on the code points where a generated
// table is most likely to go wrong: the edges of the ASCII and Latin-1 fast
// paths, foldings that cross blocks far away, the largest deltas either way,
// the last folding code point, and the foldings that are not simple.

#include "jet_engine/query/text_fold.h"

#include <gtest/gtest.h>

#include <string>

namespace jet_engine {
namespace {

struct Fold {
    const char *name;
    char32_t codePoint;
    char32_t folded;
};

void PrintTo(const Fold &f, std::ostream *os) { *os << f.name; }

class FoldCaseTest : public testing::TestWithParam<Fold> {};

TEST_P(FoldCaseTest, FoldsToTheSimpleFolding)
{
    EXPECT_EQ(static_cast<unsigned>(foldCase(GetParam().codePoint)), static_cast<unsigned>(GetParam().folded));
}

INSTANTIATE_TEST_SUITE_P(
    CodePoints, FoldCaseTest,
    testing::Values(Fold{"ascii_first_upper", U'A', U'a'}, Fold{"ascii_last_upper", U'Z', U'z'},
                    Fold{"ascii_around_letters", U'@', U'@'}, Fold{"ascii_lower_kept", U'z', U'z'},
                    Fold{"latin1_accented", U'É', U'é'}, Fold{"latin1_thorn", U'Þ', U'þ'},
                    Fold{"latin1_times_kept", U'×', U'×'}, Fold{"micro_to_greek_mu", U'µ', U'μ'},
                    // ß only has a full folding ("ss"), which would change the length.
                    Fold{"sharp_s_kept", U'ß', U'ß'}, Fold{"capital_sharp_s", U'ẞ', U'ß'},
                    Fold{"latin_extended_pair", U'Ā', U'ā'}, Fold{"latin_extended_lower_kept", U'ā', U'ā'},
                    Fold{"long_s", U'ſ', U's'}, Fold{"kelvin_sign", U'\u212A', U'k'}, Fold{"ohm_sign", U'\u2126', U'\u03C9'},
                    // The dotted capital I has only full and Turkic foldings.
                    Fold{"dotted_capital_i_kept", U'İ', U'İ'}, Fold{"final_sigma", U'ς', U'σ'},
                    Fold{"cyrillic", U'Ж', U'ж'}, Fold{"largest_delta_up", U'\u1C88', U'\uA64B'},
                    Fold{"largest_delta_down", U'\uA7AB', U'\u025C'}, Fold{"fullwidth", U'Ａ', U'ａ'},
                    Fold{"deseret_beyond_bmp", U'\U00010400', U'\U00010428'},
                    Fold{"last_folding", U'\U0001E921', U'\U0001E943'},
                    Fold{"after_last_folding", U'\U0001E922', U'\U0001E922'},
                    Fold{"last_code_point", U'\U0010FFFF', U'\U0010FFFF'},
                    Fold{"surrogate_kept", char32_t{0xD800}, char32_t{0xD800}},
                    Fold{"beyond_unicode_kept", char32_t{0x110000}, char32_t{0x110000}}),
    [](const testing::TestParamInfo<Fold> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
