#include "article_database/query/unicode_text.h"

namespace article_database {

namespace {
bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
} // namespace

void appendUtf8(std::string &out, char32_t codePoint)
{
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(putUtf8(bytes, codePoint) - bytes));
}

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
        return replacementCharacter;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= utf8.size() || !isContinuation(static_cast<unsigned char>(utf8[pos])))
            return replacementCharacter;
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[pos++]) & 0x3F);
    }
    return cp;
}

std::string toUtf8(std::u16string_view utf16)
{
    std::string out(3 * utf16.size(), '\0');
    Utf16ToUtf8 sink(out.data());
    for (const char16_t unit : utf16)
        sink.unit(unit);
    out.resize(static_cast<std::size_t>(sink.finish() - out.data()));
    return out;
}

} // namespace article_database
