// UTF-8 to UTF-16 conversion: which inputs are refused and what the others become.

#include "jet_text.h"

#include <gtest/gtest.h>

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

} // namespace
