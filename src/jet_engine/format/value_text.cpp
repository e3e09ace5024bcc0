#include "jet_engine/format/value_text.h"

#include <charconv>
#include <chrono>
#include <cmath>

namespace jet_engine {

namespace {

template <typename Real>
void appendShortest(std::string &out, Real value)
{
    char buffer[512];
    const Real magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= Real(1e-4) && magnitude < Real(1e15));
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    out.append(buffer, result.ptr);
}

void appendDigits(std::string &out, long value, int width)
{
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

} // namespace

void appendReal(std::string &out, double value) { appendShortest(out, value); }
void appendReal(std::string &out, float value) { appendShortest(out, value); }

void appendCurrency(std::string &out, std::int64_t value)
{
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (value < 0)
        out.push_back('-');
    char buffer[32];
    const auto whole = std::to_chars(buffer, buffer + sizeof buffer, magnitude / 10000);
    out.append(buffer, whole.ptr);
    long fraction = static_cast<long>(magnitude % 10000);
    if (fraction == 0)
        return;
    int width = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --width;
    }
    out.push_back('.');
    appendDigits(out, fraction, width);
}

void appendDate(std::string &out, double stamp)
{
    // 0100-01-01 .. 9999-12-31, the dates Jet accepts.
    if (!(stamp > -657435.0 && stamp < 2958466.0)) {
        appendReal(out, stamp);
        return;
    }
    long dayCount = static_cast<long>(std::trunc(stamp));
    long seconds = std::lround(std::fabs(stamp - static_cast<double>(dayCount)) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++dayCount;
    }
    using namespace std::chrono;
    constexpr sys_days jetEpoch = 1899y / December / 30;
    const year_month_day date{jetEpoch + days(dayCount)};
    appendDigits(out, static_cast<int>(date.year()), 4);
    out.push_back('-');
    appendDigits(out, static_cast<unsigned>(date.month()), 2);
    out.push_back('-');
    appendDigits(out, static_cast<unsigned>(date.day()), 2);
    if (seconds != 0) {
        out.push_back(' ');
        appendDigits(out, seconds / 3600, 2);
        out.push_back(':');
        appendDigits(out, seconds / 60 % 60, 2);
        out.push_back(':');
        appendDigits(out, seconds % 60, 2);
    }
}

void appendHex(std::string &out, const unsigned char *bytes, std::size_t count)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xF]);
    }
}

void appendGuid(std::string &out, const unsigned char *p)
{
    // The first three groups are stored little endian, the rest as written.
    static constexpr int order[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    out.push_back('{');
    for (int index : order) {
        if (index < 0)
            out.push_back('-');
        else
            appendHex(out, p + index, 1);
    }
    out.push_back('}');
}

} // namespace jet_engine
