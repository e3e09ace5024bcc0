#include "text_fold.h"

#include <QChar>

#include <array>

namespace article_database {

namespace {
constexpr char32_t replacement = 0xFFFD;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
} // namespace

char32_t nextCodePoint(std::string_view utf8, std::size_t &pos)
{
    const auto lead = static_cast<unsigned char>(utf8[pos++]);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return replacement;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= utf8.size() || !isContinuation(static_cast<unsigned char>(utf8[pos])))
            return replacement;
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[pos++]) & 0x3F);
    }
    return cp;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t foldCase(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + ('a' - 'A') : cp;
    // Accented Latin letters are most of what is not ASCII in designations.
    static const auto latin1 = [] {
        std::array<char32_t, 256> table{};
        for (char32_t c = 0; c < 256; ++c)
            table[c] = QChar::toCaseFolded(c);
        return table;
    }();
    if (cp < 0x100)
        return latin1[cp];
    return QChar::toCaseFolded(cp);
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

std::string toUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00
            && utf16[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = replacement;
        }
        appendUtf8(out, unit);
    }
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

} // namespace article_database
