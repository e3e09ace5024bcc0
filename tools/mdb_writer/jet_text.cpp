#include "jet_text.h"

#include "jet_engine/text/unicode_text.h"

#include <algorithm>
#include <iterator>

namespace mdb_writer::jet_text {

bool toUtf16(std::string_view utf8, std::u16string &out)
{
    return jet_engine::utf8ToUtf16(utf8, out);
}

void appendJet4(std::u16string_view text, bool allowCompression, std::vector<std::uint8_t> &out)
{
    // A zero byte switches modes in the compressed form, so U+0000 cannot be
    // written there; and with the two marker bytes, one or two characters
    // are no shorter compressed.
    bool compress = allowCompression && text.size() > 2;
    for (char16_t unit : text) {
        if (!compress)
            break;
        compress = unit != 0 && unit <= 0xFF;
    }
    if (compress) {
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t unit : text)
            out.push_back(static_cast<std::uint8_t>(unit));
        return;
    }
    for (char16_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

namespace {

// What 0x80-0x9F stand for; 0 marks the five unassigned bytes.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

bool appendCp1252(std::u16string_view text, std::vector<std::uint8_t> &out)
{
    for (char16_t unit : text) {
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            out.push_back(static_cast<std::uint8_t>(unit));
            continue;
        }
        const char16_t *found = std::find(std::begin(kHighControls), std::end(kHighControls), unit);
        if (found == std::end(kHighControls))
            return false;
        out.push_back(static_cast<std::uint8_t>(0x80 + (found - std::begin(kHighControls))));
    }
    return true;
}

void appendFromCp1252(const std::uint8_t *bytes, std::size_t size, std::u16string &out)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        const char16_t high = b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : 0;
        out.push_back(high != 0 ? high : static_cast<char16_t>(b));
    }
}

} // namespace mdb_writer::jet_text
