#include "jet_engine/query/text_fold.h"

#include "jet_engine/query/case_fold_table.h"
#include "jet_engine/text/unicode_text.h"

#include <array>

namespace jet_engine {

char32_t foldCase(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + ('a' - 'A') : cp;
    // Accented Latin letters are most of what is not ASCII in designations.
    static const auto latin1 = [] {
        std::array<char32_t, 256> table{};
        for (char32_t c = 0; c < 256; ++c)
            table[c] = simpleCaseFold(c);
        return table;
    }();
    if (cp < 0x100)
        return latin1[cp];
    return simpleCaseFold(cp);
}

void appendFolded(std::string &out, std::string_view utf8)
{
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::size_t run = pos;
        while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) < 0x80)
            ++run;
        if (run > pos) {
            const std::size_t base = out.size();
            out.resize(base + (run - pos));
            char *dst = out.data() + base;
            for (; pos < run; ++pos) {
                const char c = utf8[pos];
                *dst++ = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
            }
        }
        if (pos < utf8.size())
            appendUtf8(out, foldCase(nextCodePoint(utf8, pos)));
    }
}

std::string folded(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    appendFolded(out, utf8);
    return out;
}

bool sameName(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (foldCase(nextCodePoint(a, i)) != foldCase(nextCodePoint(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

} // namespace jet_engine
