#include "jet_engine/format/stored_text.h"

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/little_endian.h"
#include "jet_engine/text/unicode_text.h"

#include <algorithm>
#include <cstring>

namespace jet_engine {

void appendJet4Text(const unsigned char *p, std::size_t n, std::string &out)
{
    const bool compressed = n >= 2 && p[0] == 0xFF && p[1] == 0xFE;
    if (compressed) {
        // Most designations are ASCII from end to end: stored as is; most
        // others stay within Latin-1 in one run of one byte a character (no
        // 00 byte to switch runs): one or two UTF-8 bytes each. Eight bytes
        // at a time, a byte is 00 when taking 01 from it borrows into its
        // high bit though that bit was clear.
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highs = 0x8080808080808080u;
        std::uint64_t high = 0;
        std::uint64_t zero = 0;
        std::size_t i = 2;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, sizeof word);
            high |= word & highs;
            zero |= (word - ones) & ~word & highs;
        }
        for (; i < n; ++i) {
            high |= p[i] & 0x80;
            zero |= p[i] == 0;
        }
        if (!zero && !high) {
            out.append(reinterpret_cast<const char *>(p) + 2, n - 2);
            return;
        }
        if (!zero) {
            const std::size_t at = out.size();
            out.resize(at + 2 * (n - 2));
            char *to = out.data() + at;
            for (i = 2; i < n; ++i) {
                const unsigned char c = p[i];
                if (c < 0x80) {
                    *to++ = static_cast<char>(c);
                } else {
                    *to++ = static_cast<char>(0xC0 | c >> 6);
                    *to++ = static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            out.resize(static_cast<std::size_t>(to - out.data()));
            return;
        }
    }
    // One stored byte never takes more than two UTF-8 bytes (a compressed
    // character), two stored bytes never more than three: the text is
    // written in place, then cut to its length. No scratch buffer of the
    // thread's own: with mingw-w64's run-time a thread-local object that
    // frees memory is destroyed after its thread's storage is freed, and
    // frees whatever that storage then holds, each time a reading thread
    // ends.
    const std::size_t at = out.size();
    out.resize(at + 2 * n);
    Utf16ToUtf8 sink(out.data() + at);
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
    out.resize(static_cast<std::size_t>(sink.finish() - out.data()));
}

std::unique_ptr<CodePageText> CodePageText::open(OperatingSystem &system, unsigned codePage)
{
    auto converter = system.codePage(codePage);
    if (!converter)
        converter = system.codePage(1252);
    if (!converter)
        return nullptr;
    return std::unique_ptr<CodePageText>(new CodePageText(std::move(converter)));
}

void CodePageText::append(const unsigned char *p, std::size_t n, std::string &out) const
{
    if (std::all_of(p, p + n, [](unsigned char c) { return c < 0x80; }))
        out.append(reinterpret_cast<const char *>(p), n);
    else
        m_converter->append(p, n, out);
}

std::unique_ptr<CodePageText> CodePageText::another() const
{
    auto converter = m_converter->another();
    if (!converter)
        return nullptr;
    return std::unique_ptr<CodePageText>(new CodePageText(std::move(converter)));
}

} // namespace jet_engine
