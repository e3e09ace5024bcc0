// The one UTF-8/UTF-16 converter the engine, the writer and the fuzz targets
// share: its output is compared with bytes written out by hand, never with
// another conversion of our own.

#include "jet_engine/text/unicode_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace jet_engine {
namespace {

struct FromUtf16 {
    const char *name;
    std::u16string utf16;
    std::string utf8;
    bool wellFormed = true; // else the strict conversion refuses it
};

void PrintTo(const FromUtf16 &c, std::ostream *os) { *os << c.name; }

class Utf16ToUtf8Test : public testing::TestWithParam<FromUtf16> {};

TEST_P(Utf16ToUtf8Test, GivesTheBytes)
{
    EXPECT_EQ(toUtf8(GetParam().utf16), GetParam().utf8);
}

TEST_P(Utf16ToUtf8Test, StrictlyGivesTheSameBytesOrRefuses)
{
    std::string out = "stale";
    const bool converted = utf16ToUtf8(GetParam().utf16, out);
    EXPECT_EQ(converted, GetParam().wellFormed);
    if (converted) {
        EXPECT_EQ(out, GetParam().utf8);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf16ToUtf8Test,
    testing::Values(FromUtf16{"empty", u"", ""}, FromUtf16{"ascii", u"M8X40", "M8X40"},
                    FromUtf16{"two_byte_edges", u"\u0080\u07FF", "\xC2\x80\xDF\xBF"},
                    FromUtf16{"three_byte_edges", u"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"},
                    FromUtf16{"pair", std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
                    FromUtf16{"last_code_point", std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
                    FromUtf16{"high_at_end", std::u16string{u'a', 0xD83D}, "a\xEF\xBF\xBD", false},
                    FromUtf16{"high_before_text", std::u16string{0xD83D, u'b'}, "\xEF\xBF\xBD" "b", false},
                    FromUtf16{"lone_low", std::u16string{0xDE00, u'c'}, "\xEF\xBF\xBD" "c", false},
                    FromUtf16{"reversed_pair", std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD", false},
                    FromUtf16{"nul_kept", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
                    FromUtf16{"byte_order_mark_kept", u"\uFEFFa", "\xEF\xBB\xBF" "a"},
                    FromUtf16{"replacement_character_itself", u"\uFFFD", "\xEF\xBF\xBD"}),
    [](const testing::TestParamInfo<FromUtf16> &info) { return std::string(info.param.name); });

struct Decoded {
    const char *name;
    std::string utf8;
    std::u32string codePoints;
};

void PrintTo(const Decoded &c, std::ostream *os) { *os << c.name; }

class NextCodePointTest : public testing::TestWithParam<Decoded> {};

TEST_P(NextCodePointTest, DecodesEveryByteOnce)
{
    const std::string &utf8 = GetParam().utf8;
    std::u32string decoded;
    for (std::size_t pos = 0; pos < utf8.size();)
        decoded.push_back(nextCodePoint(utf8, pos));
    EXPECT_EQ(decoded, GetParam().codePoints);

    // Whatever decodes to a code point other than U+FFFD encodes back the same.
    std::string again;
    for (char32_t c : decoded)
        appendUtf8(again, c);
    if (decoded.find(replacementCharacter) == std::u32string::npos) {
        EXPECT_EQ(again, utf8);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NextCodePointTest,
    testing::Values(Decoded{"accents", "\xC3\x89" "CROU", U"ÉCROU"},
                    Decoded{"all_lengths", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", U"aé中😀"},
                    Decoded{"stray_continuation", "\x80x", U"\uFFFDx"},
                    Decoded{"cut_short", "x\xE4\xB8", U"x\uFFFD"},
                    Decoded{"lead_then_ascii", "\xC3(", U"\uFFFD("},
                    Decoded{"invalid_lead", "\xFF\xF8", U"\uFFFD\uFFFD"}),
    [](const testing::TestParamInfo<Decoded> &info) { return std::string(info.param.name); });

// The strict decoder, for text from outside: each malformed form refused on
// its own, with the well-formed code points at the edges around it.
struct Strict {
    const char *name;
    std::string utf8;
    std::optional<std::u16string> utf16; // nullopt: refused
};

void PrintTo(const Strict &c, std::ostream *os) { *os << c.name; }

class StrictUtf8Test : public testing::TestWithParam<Strict> {};

TEST_P(StrictUtf8Test, GivesTheUnitsOrRefuses)
{
    std::u16string out = u"stale";
    const bool converted = utf8ToUtf16(GetParam().utf8, out);
    ASSERT_EQ(converted, GetParam().utf16.has_value());
    if (converted) {
        EXPECT_EQ(out, *GetParam().utf16);
    }
}

TEST_P(StrictUtf8Test, StopsAtTheFirstMalformedSequenceWithoutMoving)
{
    const std::string &utf8 = GetParam().utf8;
    std::size_t pos = 0;
    char32_t c = 0;
    while (pos < utf8.size()) {
        const std::size_t before = pos;
        if (!nextWellFormed(utf8, pos, c)) {
            EXPECT_EQ(pos, before);
            break;
        }
        EXPECT_GT(pos, before);
    }
    EXPECT_EQ(pos == utf8.size(), GetParam().utf16.has_value()) << "stopped at " << pos;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrictUtf8Test,
    testing::Values(Strict{"empty", "", u""}, Strict{"ascii", "M8X40", u"M8X40"},
                    Strict{"nul_kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                    Strict{"byte_order_mark_kept", "\xEF\xBB\xBF" "a", u"\uFEFFa"},
                    Strict{"shortest_two_bytes", "\xC2\x80", u"\u0080"},
                    Strict{"overlong_two_bytes", "\xC1\xBF", std::nullopt},
                    Strict{"overlong_slash", "\xC0\xAF", std::nullopt},
                    Strict{"shortest_three_bytes", "\xE0\xA0\x80", u"\u0800"},
                    Strict{"overlong_three_bytes", "\xE0\x9F\xBF", std::nullopt},
                    Strict{"before_surrogates", "\xED\x9F\xBF", u"\uD7FF"},
                    Strict{"first_surrogate", "\xED\xA0\x80", std::nullopt},
                    Strict{"last_surrogate", "\xED\xBF\xBF", std::nullopt},
                    Strict{"after_surrogates", "\xEE\x80\x80", u"\uE000"},
                    Strict{"shortest_four_bytes", "\xF0\x90\x80\x80", std::u16string{0xD800, 0xDC00}},
                    Strict{"overlong_four_bytes", "\xF0\x8F\xBF\xBF", std::nullopt},
                    Strict{"last_code_point", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
                    Strict{"past_last_code_point", "\xF4\x90\x80\x80", std::nullopt},
                    Strict{"lead_past_f4", "\xF5\x80\x80\x80", std::nullopt},
                    Strict{"five_byte_form", "\xF8\x88\x80\x80\x80", std::nullopt},
                    Strict{"byte_ff", "a\xFF", std::nullopt},
                    Strict{"stray_continuation", "a\x80", std::nullopt},
                    Strict{"cut_short_two", "a\xC3", std::nullopt},
                    Strict{"cut_short_three", "a\xE4\xB8", std::nullopt},
                    Strict{"cut_short_four", "a\xF0\x9F\x98", std::nullopt},
                    Strict{"lead_then_ascii", "\xC3(", std::nullopt},
                    Strict{"malformed_after_good_text", "\xC3\x89" "CROU\xE9", std::nullopt}),
    [](const testing::TestParamInfo<Strict> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
