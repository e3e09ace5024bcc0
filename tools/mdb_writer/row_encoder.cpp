#include "row_encoder.h"

#include "jet_text.h"

#include <cstring>

namespace mdb_writer::detail {
namespace {

constexpr std::uint32_t kMemoInline = 0x80000000u;
constexpr std::uint32_t kMemoSinglePage = 0x40000000u;
// Jet keeps short memo values in the row and never compresses long ones.
constexpr std::size_t kMemoInlineBytes = 64;
constexpr std::size_t kMemoCompressibleChars = 1024;
constexpr std::size_t kMemoMaxBytes = 0x00FFFFFF;
constexpr std::uint8_t kLvalOwner[4] = {'L', 'V', 'A', 'L'};

} // namespace

void RowEncoder::cellError(const TableLayout &t, std::size_t row, const ColumnLayout &c,
                           const std::string &what) const
{
    throw WriteError("table \"" + t.name + "\", row " + std::to_string(row) + ", column \"" + c.name
                     + "\": " + what);
}

const std::vector<std::uint8_t> &RowEncoder::encode(const TableLayout &t, const Row &row, std::size_t index)
{
    std::vector<std::uint8_t> &out = rowBytes_;
    const std::uint32_t countBytes = version_.columnCountBytes();
    out.assign(countBytes + t.fixedBytes, 0);
    out[0] = static_cast<std::uint8_t>(t.columns.size());
    if (countBytes == 2)
        out[1] = static_cast<std::uint8_t>(t.columns.size() >> 8);
    nullMask_.assign((t.columns.size() + 7) / 8, 0);
    varOffsets_.assign(t.varCount, 0);
    const auto present = [this](const ColumnLayout &c) { nullMask_[c.number / 8] |= 1u << (c.number % 8); };

    for (const ColumnLayout &c : t.columns) {
        const Cell &cell = row[c.number];
        if (std::holds_alternative<Null>(cell)) {
            if (!c.fixed)
                varOffsets_[c.varIndex] = static_cast<std::uint16_t>(out.size());
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
        case JetText:
        case JetMemo: {
            if (!std::holds_alternative<std::string>(cell))
                cellError(t, index, c, "expected text");
            if (!jet_text::toUtf16(std::get<std::string>(cell), utf16_))
                cellError(t, index, c, "text is not valid UTF-8");
            varOffsets_[c.varIndex] = static_cast<std::uint16_t>(out.size());
            if (c.type == JetText) {
                // Jet 3 text has one byte per character, so the two counts agree.
                if (utf16_.size() > static_cast<std::size_t>(c.maxChars)) {
                    cellError(t, index, c,
                              std::to_string(utf16_.size()) + " UTF-16 units in a column of "
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

    if (t.varCount > 0 && version_.jet3) {
        appendJet3Offsets(t, index);
    } else if (t.varCount > 0) {
        append16(out, static_cast<std::uint32_t>(out.size()));
        for (std::size_t i = t.varCount; i-- > 0;)
            append16(out, varOffsets_[i]);
        append16(out, t.varCount);
    }
    out.insert(out.end(), nullMask_.begin(), nullMask_.end());
    return out;
}

// Jet 3 keeps only the low byte of each offset (the end of the variable
// data last in memory order, first column nearest the count byte). A jump
// table names, for each 256-byte boundary, the first offset past it. The
// reader sizes that table from the row length, so when the row's own tail
// carries it past one more boundary than its data, a 0xFF filler stands in.
void RowEncoder::appendJet3Offsets(const TableLayout &t, std::size_t index)
{
    std::vector<std::uint8_t> &out = rowBytes_;
    const auto end = static_cast<std::uint32_t>(out.size());
    varOffsets_.push_back(static_cast<std::uint16_t>(end));
    const std::uint32_t jumps = end / 256;
    const std::uint32_t tail = t.varCount + 1 + jumps + 1 + static_cast<std::uint32_t>(nullMask_.size());
    std::uint32_t length = end + tail;
    const bool filler = (length - 1) / 256 != jumps;
    if (filler)
        ++length;
    if ((length - 1) / 256 != jumps + (filler ? 1 : 0))
        throw WriteError("table \"" + t.name + "\", row " + std::to_string(index)
                         + ": too many variable columns to lay out in Jet 3");

    for (std::size_t i = varOffsets_.size(); i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(varOffsets_[i]));
    if (filler)
        out.push_back(0xFF);
    for (std::uint32_t j = jumps; j-- > 0;) {
        std::uint32_t first = 0;
        while (varOffsets_[first] < 256 * (j + 1))
            ++first;
        out.push_back(static_cast<std::uint8_t>(first));
    }
    out.push_back(static_cast<std::uint8_t>(t.varCount));
}

void RowEncoder::appendText(const TableLayout &t, std::size_t index, const ColumnLayout &c, bool compress,
                std::vector<std::uint8_t> &out)
{
    if (!version_.jet3) {
        jet_text::appendJet4(utf16_, compress, out);
        return;
    }
    if (!jet_text::appendCp1252(utf16_, out))
        cellError(t, index, c, "text has characters Windows-1252 lacks");
}

void RowEncoder::appendMemo(const TableLayout &t, std::size_t index, const ColumnLayout &c)
{
    valueBytes_.clear();
    appendText(t, index, c, utf16_.size() <= kMemoCompressibleChars, valueBytes_);
    const std::size_t length = valueBytes_.size();
    if (length > kMemoMaxBytes)
        cellError(t, index, c, "memo longer than 16 MiB once stored");

    std::vector<std::uint8_t> &out = rowBytes_;
    const auto len = static_cast<std::uint32_t>(length);
    if (length <= kMemoInlineBytes) {
        append32(out, len | kMemoInline);
        append32(out, 0);
        append32(out, 0);
        out.insert(out.end(), valueBytes_.begin(), valueBytes_.end());
    } else if (length <= version_.maxRowBytes()) {
        const std::uint32_t where = storeLongValue(valueBytes_.data(), length);
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
    if (!lval_.fits(bytes)) {
        if (lval_.open())
            lval_.finish(file_);
        lval_.start(file_.allocate(), kLvalOwner);
    }
    return pageRow(lval_.number(), lval_.add(data, bytes));
}

// Splits valueBytes_ into pieces, each one behind the pointer to the next.
// Every piece but the last fills a page of its own.
std::uint32_t RowEncoder::storeLongValueChain()
{
    const std::size_t length = valueBytes_.size();
    const std::size_t pieceBytes = version_.longValuePiece();
    const std::size_t pieces = (length + pieceBytes - 1) / pieceBytes;
    const std::size_t lastStart = (pieces - 1) * pieceBytes;

    std::vector<std::uint8_t> &piece = pieceBytes_;
    piece.assign(4, 0);
    piece.insert(piece.end(), valueBytes_.begin() + static_cast<std::ptrdiff_t>(lastStart), valueBytes_.end());
    const std::uint32_t last = storeLongValue(piece.data(), piece.size());

    const std::uint32_t first = file_.allocate();
    for (std::size_t i = 1; i + 1 < pieces; ++i)
        file_.allocate();
    RowPage page(version_);
    for (std::size_t i = 0; i + 1 < pieces; ++i) {
        const auto number = first + static_cast<std::uint32_t>(i);
        piece.resize(4);
        put32(piece.data(), i + 2 < pieces ? pageRow(number + 1, 0) : last);
        const auto begin = valueBytes_.begin() + static_cast<std::ptrdiff_t>(i * pieceBytes);
        piece.insert(piece.end(), begin, begin + static_cast<std::ptrdiff_t>(pieceBytes));
        page.start(number, kLvalOwner);
        page.add(piece.data(), piece.size());
        page.finish(file_);
    }
    return pageRow(first, 0);
}


void RowEncoder::finish()
{
    if (lval_.open())
        lval_.finish(file_);
}

} // namespace mdb_writer::detail
