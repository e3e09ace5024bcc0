#include "article_database/jet/stored_text.h"

#include "article_database/jet/jet_layout.h"
#include "article_database/jet/little_endian.h"
#include "article_database/query/unicode_text.h"

#include <algorithm>
#include <cstring>

#include <iconv.h>

namespace article_database {

namespace {

// The code page a Jet 3 file declares, as iconv names it.
const char *charsetName(unsigned codePage)
{
    switch (codePage) {
    case 874: return "WINDOWS-874";
    case 932: return "SHIFT_JIS";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 1250: return "WINDOWS-1250";
    case 1251: return "WINDOWS-1251";
    case 1253: return "WINDOWS-1253";
    case 1254: return "WINDOWS-1254";
    case 1255: return "WINDOWS-1255";
    case 1256: return "WINDOWS-1256";
    case 1257: return "WINDOWS-1257";
    case 1258: return "WINDOWS-1258";
    default: return "WINDOWS-1252";
    }
}

} // namespace

void appendJet4Text(const unsigned char *p, std::size_t n, std::string &out)
{
    const bool compressed = n >= 2 && p[0] == 0xFF && p[1] == 0xFE;
    if (compressed) {
        // Most designations are ASCII from end to end: stored as is. Eight
        // bytes at a time, a byte is ASCII but not 00 unless its high bit is
        // set, or it is 00 (which borrows into its high bit when 01 is taken
        // from it).
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highs = 0x8080808080808080u;
        std::uint64_t bad = 0;
        std::size_t i = 2;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, sizeof word);
            bad |= (word | ((word - ones) & ~word)) & highs;
        }
        for (; i < n; ++i)
            bad |= static_cast<unsigned char>(p[i] - 1) >= 0x7F;
        if (!bad) {
            out.append(reinterpret_cast<const char *>(p) + 2, n - 2);
            return;
        }
    }
    // One stored byte never takes more than two UTF-8 bytes (a compressed
    // character), two stored bytes never more than three.
    thread_local std::string scratch;
    if (scratch.size() < 2 * n)
        scratch.resize(2 * n);
    Utf16ToUtf8 sink(scratch.data());
    if (compressed) {
        bool single = true;
        std::size_t i = 2;
        while (i < n) {
            if (p[i] == 0) {
                single = !single;
                ++i;
            } else if (single) {
                sink.unit(p[i++]);
            } else if (i + 1 < n) {
                sink.unit(le16(p + i));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < n; i += 2)
            sink.unit(le16(p + i));
    }
    out.append(scratch.data(), static_cast<std::size_t>(sink.finish() - scratch.data()));
}

std::unique_ptr<CodePageText> CodePageText::open(unsigned codePage)
{
    iconv_t cd = iconv_open("UTF-8", charsetName(codePage));
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return std::unique_ptr<CodePageText>(new CodePageText(cd));
}

CodePageText::~CodePageText() { iconv_close(static_cast<iconv_t>(m_cd)); }

void CodePageText::append(const unsigned char *p, std::size_t n, std::string &out) const
{
    if (std::all_of(p, p + n, [](unsigned char c) { return c < 0x80; })) {
        out.append(reinterpret_cast<const char *>(p), n);
        return;
    }
    iconv_t cd = static_cast<iconv_t>(m_cd);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t base = out.size();
    out.resize(base + n * 4 + 4);
    char *in = const_cast<char *>(reinterpret_cast<const char *>(p));
    std::size_t inLeft = n;
    char *outPtr = out.data() + base;
    std::size_t outLeft = n * 4 + 4;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) || outLeft < 3)
            break;
        ++in;
        --inLeft;
        outPtr = putUtf8(outPtr, replacementCharacter);
        outLeft -= 3;
    }
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
}

} // namespace article_database
