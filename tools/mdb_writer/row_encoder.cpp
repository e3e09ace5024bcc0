#include "row_encoder.h"

#include "jet_text.h"
#include "row_tail.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace mdb_writer::detail {
namespace {

constexpr std::uint32_t kMemoInline = 0x80000000u;
constexpr std::uint32_t kMemoSinglePage = 0x40000000u;
// Jet keeps short memo values in the row and never compresses long ones.
constexpr std::size_t kMemoInlineBytes = 64;
constexpr std::size_t kMemoCompressibleChars = 1024;
constexpr std::size_t kMemoMaxBytes = 0x00FFFFFF;
constexpr std::uint8_t kLvalOwner[4] = {'L', 'V', 'A', 'L'};
constexpr std::uint8_t kNumericNegative = 0x80;

// A numeric as Jet stores it: a sign byte, then the value times 10^scale as
// a magnitude in four little-endian 32-bit words, most significant first
// (28 digits never reach the first). Returns what is wrong with the text,
// or nothing.
std::string encodeNumeric(const std::string &text, const ColumnLayout &c, std::uint8_t *out)
{
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view body = std::string_view(text).substr(negative ? 1 : 0);
    const std::size_t point = body.find('.');
    const std::string whole(body.substr(0, point));
    std::string fraction(point == std::string_view::npos ? std::string_view() : body.substr(point + 1));
    const auto allDigits = [](const std::string &s) {
        return s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || !allDigits(whole)
        || (point != std::string_view::npos && (fraction.empty() || !allDigits(fraction))))
        return "\"" + text + "\" is not a decimal number";
    if (fraction.size() > c.scale)
        return "\"" + text + "\" has more than " + std::to_string(c.scale) + " digits after the point";
    const std::size_t significant = whole.size() - std::min(whole.find_first_not_of('0'), whole.size());
    if (significant > static_cast<std::size_t>(c.precision - c.scale))
        return "\"" + text + "\" has more than " + std::to_string(c.precision - c.scale) + " digits before the point";
    fraction.resize(c.scale, '0');

    std::uint32_t words[4] = {};
    for (const char digit : whole + fraction) {
        std::uint64_t carry = static_cast<std::uint64_t>(digit - '0');
        for (int i = 3; i >= 0; --i) {
            const std::uint64_t v = std::uint64_t{words[i]} * 10 + carry;
            words[i] = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
    }
    out[0] = negative ? kNumericNegative : 0;
    for (int i = 0; i < 4; ++i)
        put32(out + 1 + 4 * i, words[i]);
    return {};
}

} // namespace

void RowEncoder::cellError(const TableLayout &t, std::size_t row, const ColumnLayout &c,
                           const std::string &what) const
{
    throw WriteError("table \"" + t.name + "\", row " + std::to_string(row) + ", column \"" + c.name
                     + "\": " + what);
}

const std::vector<std::uint8_t> &RowEncoder::encode(const TableLayout &t, const Row &row, std::size_t index)
{
    std::vector<std::uint8_t> &out = m_rowBytes;
    const std::uint32_t countBytes = m_version.columnCountBytes();
    out.assign(countBytes + t.fixedBytes, 0);
    out[0] = static_cast<std::uint8_t>(t.columns.size());
    if (countBytes == 2)
        out[1] = static_cast<std::uint8_t>(t.columns.size() >> 8);
    m_nullMask.assign((t.columns.size() + 7) / 8, 0);
    m_varOffsets.assign(t.varCount, 0);
    const auto present = [this](const ColumnLayout &c) { m_nullMask[c.number / 8] |= 1u << (c.number % 8); };

    for (const ColumnLayout &c : t.columns) {
        const Cell &cell = row[c.number];
        if (std::holds_alternative<Null>(cell)) {
            if (!c.fixed)
                m_varOffsets[c.varIndex] = static_cast<std::uint16_t>(out.size());
            continue;
        }
        std::uint8_t *fixed = out.data() + countBytes + c.fixedOffset;
        switch (c.type) {
        case JetBoolean:
            if (!std::holds_alternative<bool>(cell))
                cellError(t, index, c, "expected a boolean");
            if (std::get<bool>(cell))
                present(c);
            break;
        case JetInteger: {
            if (!std::holds_alternative<std::int32_t>(cell))
                cellError(t, index, c, "expected an integer");
            const std::int32_t v = std::get<std::int32_t>(cell);
            if (v < -32768 || v > 32767)
                cellError(t, index, c, "out of the 16-bit range");
            put16(fixed, static_cast<std::uint32_t>(v));
            present(c);
            break;
        }
        case JetLong:
            if (!std::holds_alternative<std::int32_t>(cell))
                cellError(t, index, c, "expected an integer");
            put32(fixed, static_cast<std::uint32_t>(std::get<std::int32_t>(cell)));
            present(c);
            break;
        case JetDouble: {
            if (!std::holds_alternative<double>(cell))
                cellError(t, index, c, "expected a double");
            std::uint64_t bits;
            const double v = std::get<double>(cell);
            std::memcpy(&bits, &v, sizeof bits);
            put32(fixed, static_cast<std::uint32_t>(bits));
            put32(fixed + 4, static_cast<std::uint32_t>(bits >> 32));
            present(c);
            break;
        }
        case JetNumeric: {
            if (!std::holds_alternative<Decimal>(cell))
                cellError(t, index, c, "expected a decimal");
            if (const std::string wrong = encodeNumeric(std::get<Decimal>(cell).text, c, fixed); !wrong.empty())
                cellError(t, index, c, wrong);
            present(c);
            break;
        }
        case JetText:
        case JetMemo: {
            if (!std::holds_alternative<std::string>(cell))
                cellError(t, index, c, "expected text");
            if (!jet_text::toUtf16(std::get<std::string>(cell), m_utf16))
                cellError(t, index, c, "text is not valid UTF-8");
            m_varOffsets[c.varIndex] = static_cast<std::uint16_t>(out.size());
            if (c.type == JetText) {
                // Jet 3 text has one byte per character, so the two counts agree.
                if (m_utf16.size() > static_cast<std::size_t>(c.maxChars)) {
                    cellError(t, index, c,
                              std::to_string(m_utf16.size()) + " UTF-16 units in a column of "
                                  + std::to_string(c.maxChars) + " characters");
                }
                appendText(t, index, c, true, out);
            } else {
                appendMemo(t, index, c);
            }
            present(c);
            break;
        }
        case JetOle:
            cellError(t, index, c, "binary values are not supported");
        }
    }

    if (!appendRowTail(m_version, m_varOffsets, m_nullMask, out))
        throw WriteError("table \"" + t.name + "\", row " + std::to_string(index)
                         + ": too many variable columns to lay out in Jet 3");
    return out;
}

void RowEncoder::appendText(const TableLayout &t, std::size_t index, const ColumnLayout &c, bool compress,
                std::vector<std::uint8_t> &out)
{
    if (!m_version.jet3) {
        jet_text::appendJet4(m_utf16, compress, out);
        return;
    }
    if (!jet_text::appendCp1252(m_utf16, out))
        cellError(t, index, c, "text has characters Windows-1252 lacks");
}

void RowEncoder::appendMemo(const TableLayout &t, std::size_t index, const ColumnLayout &c)
{
    m_valueBytes.clear();
    appendText(t, index, c, m_utf16.size() <= kMemoCompressibleChars, m_valueBytes);
    const std::size_t length = m_valueBytes.size();
    if (length > kMemoMaxBytes)
        cellError(t, index, c, "memo longer than 16 MiB once stored");

    std::vector<std::uint8_t> &out = m_rowBytes;
    const auto len = static_cast<std::uint32_t>(length);
    if (length <= kMemoInlineBytes) {
        append32(out, len | kMemoInline);
        append32(out, 0);
        append32(out, 0);
        out.insert(out.end(), m_valueBytes.begin(), m_valueBytes.end());
    } else if (length <= m_version.maxRowBytes()) {
        const std::uint32_t where = storeLongValue(m_valueBytes.data(), length);
        append32(out, len | kMemoSinglePage);
        append32(out, where);
        append32(out, 0);
    } else {
        append32(out, len);
        append32(out, storeLongValueChain());
        append32(out, 0);
    }
}

// Small long values share pages; returns the row pointer of the stored one.
std::uint32_t RowEncoder::storeLongValue(const std::uint8_t *data, std::size_t bytes)
{
    if (!m_lval.fits(bytes)) {
        if (m_lval.open())
            m_lval.finish(m_file);
        m_lval.start(m_file.allocate(), kLvalOwner);
    }
    return pageRow(m_lval.number(), m_lval.add(data, bytes));
}

// Splits m_valueBytes into pieces, each one behind the pointer to the next.
// Every piece but the last fills a page of its own.
std::uint32_t RowEncoder::storeLongValueChain()
{
    const std::size_t length = m_valueBytes.size();
    const std::size_t pieceBytes = m_version.longValuePiece();
    const std::size_t pieces = (length + pieceBytes - 1) / pieceBytes;
    const std::size_t lastStart = (pieces - 1) * pieceBytes;

    std::vector<std::uint8_t> &piece = m_pieceBytes;
    piece.assign(4, 0);
    piece.insert(piece.end(), m_valueBytes.begin() + static_cast<std::ptrdiff_t>(lastStart), m_valueBytes.end());
    const std::uint32_t last = storeLongValue(piece.data(), piece.size());

    const std::uint32_t first = m_file.allocate();
    for (std::size_t i = 1; i + 1 < pieces; ++i)
        m_file.allocate();
    RowPage page(m_version);
    for (std::size_t i = 0; i + 1 < pieces; ++i) {
        const auto number = first + static_cast<std::uint32_t>(i);
        piece.resize(4);
        put32(piece.data(), i + 2 < pieces ? pageRow(number + 1, 0) : last);
        const auto begin = m_valueBytes.begin() + static_cast<std::ptrdiff_t>(i * pieceBytes);
        piece.insert(piece.end(), begin, begin + static_cast<std::ptrdiff_t>(pieceBytes));
        page.start(number, kLvalOwner);
        page.add(piece.data(), piece.size());
        page.finish(m_file);
    }
    return pageRow(first, 0);
}


void RowEncoder::finish()
{
    if (m_lval.open())
        m_lval.finish(m_file);
}

} // namespace mdb_writer::detail
