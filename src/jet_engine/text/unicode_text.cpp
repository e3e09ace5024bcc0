#include "jet_engine/text/unicode_text.h"

namespace jet_engine {

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

bool nextWellFormed(std::string_view utf8, std::size_t &pos, char32_t &codePoint)
{
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    const unsigned char lead = byteAt(pos);
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    }
    // The second byte's range is what rules out overlong forms (after E0 and
    // F0), surrogates (after ED) and code points past U+10FFFF (after F4).
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return false;
    }
    if (utf8.size() - pos < length)
        return false;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byteAt(pos + i);
        if (next < low || next > high)
            return false;
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (next & 0x3F);
    }
    pos += length;
    codePoint = value;
    return true;
}

bool utf8ToUtf16(std::string_view utf8, std::u16string &out)
{
    out.clear();
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        if (!nextWellFormed(utf8, pos, c))
            return false;
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
    return true;
}

bool utf16ToUtf8(std::u16string_view utf16, std::string &out)
{
    out.clear();
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u < 0xD800 || u > 0xDFFF) {
            appendUtf8(out, u);
            continue;
        }
        if (u > 0xDBFF || i + 1 == utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF)
            return false;
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (utf16[++i] - 0xDC00));
    }
    return true;
}

} // namespace jet_engine
