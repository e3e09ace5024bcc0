#pragma once
// The one place where text changes encoding, for the engine, the test writer,
// article-query and the fuzz targets alike: UTF-8 to code points and back,
// UTF-16 code units to UTF-8. The engine's own decoding never stops on
// malformed input: what cannot be decoded shows as U+FFFD. Text from outside
// (the command line, the writer's input) goes through the strict functions at
// the end instead, which refuse it.

#include <cstddef>
#include <string>
#include <string_view>

namespace jet_engine {

inline constexpr char32_t replacementCharacter = 0xFFFD;

// Writes the UTF-8 form of `codePoint` at `out`, which has room for four
// bytes, and returns the end. A lone surrogate gets the three bytes of its
// value, as mdbtools' JSON output writes it.
inline char *putUtf8(char *out, char32_t codePoint)
{
    const char32_t c = codePoint;
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

void appendUtf8(std::string &out, char32_t codePoint);

// Decodes the code point at `pos` and moves `pos` past it; `pos` must be
// inside `utf8`. A malformed sequence decodes as U+FFFD.
char32_t nextCodePoint(std::string_view utf8, std::size_t &pos);

// UTF-16 code units to UTF-8, into room the caller has made: at most three
// bytes per unit. Surrogate pairs join; a lone surrogate shows as U+FFFD.
class Utf16ToUtf8 {
public:
    explicit Utf16ToUtf8(char *out) : m_out(out) {}

    void unit(char16_t u)
    {
        if (m_pendingHigh) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                m_out = putUtf8(m_out, 0x10000 + ((m_pendingHigh - 0xD800) << 10) + (u - 0xDC00));
                m_pendingHigh = 0;
                return;
            }
            m_out = putUtf8(m_out, replacementCharacter);
            m_pendingHigh = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            m_pendingHigh = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            m_out = putUtf8(m_out, replacementCharacter);
        else
            m_out = putUtf8(m_out, u);
    }

    // Ends the text (a high surrogate left waiting shows as U+FFFD) and
    // returns the end of what was written.
    char *finish()
    {
        if (m_pendingHigh)
            m_out = putUtf8(m_out, replacementCharacter);
        m_pendingHigh = 0;
        return m_out;
    }

private:
    char *m_out;
    char16_t m_pendingHigh = 0;
};

std::string toUtf8(std::u16string_view utf16);

// Decodes the well-formed UTF-8 sequence at `pos` and moves `pos` past it: the
// shortest form of a code point up to U+10FFFF that is not a surrogate.
// Returns false, `pos` unchanged, when the bytes at `pos` are not one.
bool nextWellFormed(std::string_view utf8, std::size_t &pos, char32_t &codePoint);

// Strict conversions: false, with `out` unspecified, when `utf8` is not
// well-formed UTF-8 or `utf16` holds a lone surrogate. A byte order mark is a
// character like any other and is kept.
bool utf8ToUtf16(std::string_view utf8, std::u16string &out);
bool utf16ToUtf8(std::u16string_view utf16, std::string &out);

} // namespace jet_engine
