#include "jet_engine/format/value_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>

namespace jet_engine {
namespace {

struct TextCase {
    const char *name;
    std::function<void(std::string &)> append;
    const char *expected;
};

void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

class ValueTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ValueTextTest, Shows)
{
    std::string out = "x";
    GetParam().append(out);
    EXPECT_EQ(out, std::string("x") + GetParam().expected);
}

auto real(double value) { return [value](std::string &out) { appendReal(out, value); }; }
auto single(float value) { return [value](std::string &out) { appendReal(out, value); }; }
auto currency(std::int64_t value) { return [value](std::string &out) { appendCurrency(out, value); }; }
auto date(double value) { return [value](std::string &out) { appendDate(out, value); }; }

const unsigned char sequence[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                    0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    Jet, ValueTextTest,
    testing::Values(
        TextCase{"double_zero", real(0.0), "0"},
        TextCase{"double_fraction", real(0.25), "0.25"},
        TextCase{"double_negative", real(-3.5), "-3.5"},
        TextCase{"double_million_in_digits", real(1000000.0), "1000000"},
        TextCase{"double_shortest_round_trip", real(0.1), "0.1"},
        TextCase{"double_small_limit", real(0.0001), "0.0001"},
        TextCase{"double_tiny_exponent", real(1e-7), "1e-07"},
        TextCase{"double_huge_exponent", real(1e15), "1e+15"},
        TextCase{"single_shortest_for_float", single(0.1f), "0.1"},
        TextCase{"single_largest", single(std::numeric_limits<float>::max()), "3.4028235e+38"},
        TextCase{"currency_zero", currency(0), "0"},
        TextCase{"currency_whole", currency(30000), "3"},
        TextCase{"currency_trailing_zeros_dropped", currency(125000), "12.5"},
        TextCase{"currency_four_places", currency(12345678), "1234.5678"},
        TextCase{"currency_leading_zero_places", currency(10), "0.001"},
        TextCase{"currency_negative_smallest", currency(-1), "-0.0001"},
        TextCase{"currency_most_negative", currency(std::numeric_limits<std::int64_t>::min()),
                 "-922337203685477.5808"},
        TextCase{"date_epoch", date(0), "1899-12-30"},
        TextCase{"date_1900", date(2), "1900-01-01"},
        TextCase{"date_no_1900_leap_day", date(60), "1900-02-28"},
        TextCase{"date_march_1900", date(61), "1900-03-01"},
        TextCase{"date_2000", date(36526), "2000-01-01"},
        TextCase{"date_with_time", date(36526.5), "2000-01-01 12:00:00"},
        TextCase{"date_leap_day", date(36585), "2000-02-29"},
        TextCase{"date_recent_with_time", date(45000.25), "2023-03-15 06:00:00"},
        TextCase{"date_before_epoch_time_forward", date(-1.25), "1899-12-29 06:00:00"},
        TextCase{"date_rounds_to_next_day", date(0.999999999), "1899-12-31"},
        TextCase{"date_earliest", date(-657434), "0100-01-01"},
        TextCase{"date_latest", date(2958465), "9999-12-31"},
        TextCase{"date_out_of_range", date(2958466), "2958466"},
        TextCase{"guid_groups", [](std::string &out) { appendGuid(out, sequence); },
                 "{03020100-0504-0706-0809-0A0B0C0D0EFF}"},
        TextCase{"hex", [](std::string &out) { appendHex(out, sequence + 13, 3); }, "0D0EFF"}),
    [](const testing::TestParamInfo<TextCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
