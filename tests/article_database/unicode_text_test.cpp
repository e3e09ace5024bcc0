// The one UTF-8/UTF-16 converter the engine, the writer and the fuzz targets
// share: its output is compared with bytes written out by hand, never with
// another conversion of our own.

#include "article_database/query/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

namespace article_database {
namespace {

struct FromUtf16 {
    const char *name;
    std::u16string utf16;
    std::string utf8;
};

class Utf16ToUtf8Test : public testing::TestWithParam<FromUtf16> {};

TEST_P(Utf16ToUtf8Test, GivesTheBytes)
{
    EXPECT_EQ(toUtf8(GetParam().utf16), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf16ToUtf8Test,
    testing::Values(FromUtf16{"empty", u"", ""}, FromUtf16{"ascii", u"M8X40", "M8X40"},
                    FromUtf16{"two_byte_edges", u"\u0080\u07FF", "\xC2\x80\xDF\xBF"},
                    FromUtf16{"three_byte_edges", u"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"},
                    FromUtf16{"pair", std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
                    FromUtf16{"last_code_point", std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
                    FromUtf16{"high_at_end", std::u16string{u'a', 0xD83D}, "a\xEF\xBF\xBD"},
                    FromUtf16{"high_before_text", std::u16string{0xD83D, u'b'}, "\xEF\xBF\xBD" "b"},
                    FromUtf16{"lone_low", std::u16string{0xDE00, u'c'}, "\xEF\xBF\xBD" "c"},
                    FromUtf16{"reversed_pair", std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
                    FromUtf16{"nul_kept", std::u16string(u"a\0b", 3), std::string("a\0b", 3)}),
    [](const testing::TestParamInfo<FromUtf16> &info) { return std::string(info.param.name); });

struct Decoded {
    const char *name;
    std::string utf8;
    std::u32string codePoints;
};

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

} // namespace
} // namespace article_database
