// Memo and OLE values: in the row, on one long-value row, or chained over
// several; chains that loop, leave the file or stop short are damage.

#include "jet_engine/format/long_value.h"
#include "page_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace jet_engine {
namespace {

using namespace testing_support;

const std::uint32_t lvalOwner = 0x4C41564C; // "LVAL"

// The 12 bytes a row keeps for a long value.
std::string header(std::uint32_t lengthAndFlags, std::uint32_t pointer)
{
    std::string h(12, '\0');
    put32(h, 0, lengthAndFlags);
    put32(h, 4, pointer);
    return h;
}

std::uint32_t at(std::uint32_t page, std::uint32_t row) { return (page << 8) | row; }

struct LongCase {
    const char *name;
    std::function<void(PageFixture &)> lay;
    std::string field;
    std::optional<std::string> value; // nothing: damage
};

void PrintTo(const LongCase &c, std::ostream *os) { *os << c.name; }

class LongValueTest : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongValueTest, ReadsTheValueOrFindsDamage)
{
    const LongCase &c = GetParam();
    PageFixture file(6);
    c.lay(file);
    PageSource *pages = file.open();
    ASSERT_NE(pages, nullptr);
    LongValueReader reader(*pages, FileFormat{});
    std::string value;
    const bool ok = reader.read(reinterpret_cast<const unsigned char *>(c.field.data()), c.field.size(), value);
    ASSERT_EQ(ok, c.value.has_value());
    if (ok) {
        EXPECT_EQ(value, *c.value);
    }
}

const auto nothing = [](PageFixture &) {};

const LongCase longCases[] = {
    {"inline", nothing, header(5 | 0x80000000u, 0) + "court", "court"},
    {"one_row", [](PageFixture &f) { f.rowPage(3, lvalOwner, {{"x"}, {"on its own row"}}); },
     header(6 | 0x40000000u, at(3, 1)), "on its"},
    {"one_row_shorter_than_the_value", [](PageFixture &f) { f.rowPage(3, lvalOwner, {{"short"}}); },
     header(40 | 0x40000000u, at(3, 0)), std::nullopt},
    {"chained_over_three_pages",
     [](PageFixture &f) {
         f.rowPage(3, lvalOwner, {{pointerTo(5, 0) + "first "}});
         f.rowPage(5, lvalOwner, {{pointerTo(4, 1) + "second "}});
         f.rowPage(4, lvalOwner, {{"other"}, {pointerTo(0, 0) + "third"}});
     },
     header(18, at(3, 0)), "first second third"},
    {"chain_that_loops",
     [](PageFixture &f) {
         f.rowPage(3, lvalOwner, {{pointerTo(4, 0) + "abc"}});
         f.rowPage(4, lvalOwner, {{pointerTo(3, 0) + "def"}});
     },
     header(100, at(3, 0)), std::nullopt},
    {"chain_leaving_the_file", [](PageFixture &f) { f.rowPage(3, lvalOwner, {{pointerTo(900, 0) + "abc"}}); },
     header(10, at(3, 0)), std::nullopt},
    {"chain_ending_short", [](PageFixture &f) { f.rowPage(3, lvalOwner, {{pointerTo(0, 0) + "abc"}}); },
     header(10, at(3, 0)), std::nullopt},
    {"pointer_to_a_missing_row", [](PageFixture &f) { f.rowPage(3, lvalOwner, {{"only"}}); },
     header(4 | 0x40000000u, at(3, 5)), std::nullopt},
    {"length_larger_than_the_file", nothing, header(0x3FFFFFFFu, at(3, 0)), std::nullopt},
    {"header_cut_short", nothing, std::string(8, '\0'), std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Values, LongValueTest, ::testing::ValuesIn(longCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
