// Text conversions: UTF-8 to UTF-16, and UTF-16 to the Windows-1252 of Jet 3.

#include "jet_text.h"

#include <gtest/gtest.h>

using mdb_writer::jet_text::appendCp1252;
using mdb_writer::jet_text::toUtf16;

namespace {

struct Conversion {
    std::string utf8;
    std::u16string utf16;
};

class Utf16Conversion : public testing::TestWithParam<Conversion> {};

TEST_P(Utf16Conversion, GivesTheUtf16Units)
{
    std::u16string out = u"stale";
    ASSERT_TRUE(toUtf16(GetParam().utf8, out));
    EXPECT_EQ(out, GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf16Conversion,
                         testing::Values(Conversion{"", u""}, Conversion{"M8X40", u"M8X40"},
                                         Conversion{"\xC3\x89", u"\u00C9"}, Conversion{"\xE4\xB8\xAD", u"\u4E2D"},
                                         Conversion{"\xEF\xBF\xBF", u"\uFFFF"},
                                         Conversion{"\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
                                         Conversion{"\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
                                         Conversion{std::string("a\0b", 3), std::u16string(u"a\0b", 3)}));

class Utf8Refused : public testing::TestWithParam<std::string> {};

TEST_P(Utf8Refused, IsNotConverted)
{
    std::u16string out;
    EXPECT_FALSE(toUtf16(GetParam(), out));
}

INSTANTIATE_TEST_SUITE_P(Malformed, Utf8Refused,
                         testing::Values("\x80", "abc\xC3", "\xC3\x28", "\xC0\xAF", "\xE0\x80\xAF",
                                         "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF"));

struct Cp1252Case {
    std::u16string text;
    std::vector<std::uint8_t> bytes;
};

class Cp1252Conversion : public testing::TestWithParam<Cp1252Case> {};

TEST_P(Cp1252Conversion, GivesTheCodePageBytes)
{
    std::vector<std::uint8_t> out = {'>'};
    ASSERT_TRUE(appendCp1252(GetParam().text, out));
    std::vector<std::uint8_t> expected = {'>'};
    expected.insert(expected.end(), GetParam().bytes.begin(), GetParam().bytes.end());
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, Cp1252Conversion,
                         testing::Values(Cp1252Case{u"", {}}, Cp1252Case{u"M8X40", {'M', '8', 'X', '4', '0'}},
                                         Cp1252Case{u"\u00E9\u00FF\u00A0", {0xE9, 0xFF, 0xA0}},
                                         Cp1252Case{u"\u20AC", {0x80}}, Cp1252Case{u"\u201A", {0x82}},
                                         Cp1252Case{u"\u0152\u017D\u0153", {0x8C, 0x8E, 0x9C}},
                                         Cp1252Case{u"\u2019\u2014", {0x92, 0x97}},
                                         Cp1252Case{u"\u017E\u0178", {0x9E, 0x9F}}));

class Cp1252Refused : public testing::TestWithParam<std::u16string> {};

TEST_P(Cp1252Refused, IsNotConverted)
{
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(appendCp1252(GetParam(), out));
}

// The C1 controls and the five bytes Windows-1252 leaves unassigned have no
// character, so their code points cannot go there either.
INSTANTIATE_TEST_SUITE_P(Missing, Cp1252Refused,
                         testing::Values(u"\u0080", u"\u0081", u"\u009F", u"\u03A9", u"abc\u4E2D",
                                         std::u16string{0xD83D, 0xDE00}, u"\u0100"));

} // namespace
