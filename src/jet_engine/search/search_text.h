#pragma once
// A column's text as searches read it. The text is kept once, as stored:
// a search folds ASCII and Latin-1 capitals as it reads them, each byte in
// place, and the few rows whose folding is another (other scripts, letters
// whose folded form is longer) are kept folded beside it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

// The byte after every value of a column's text: it never occurs in UTF-8,
// so a search cannot match across two values, and a scan counts rows by it.
constexpr char valueSeparator = static_cast<char>(0xFF);

// The folding a search applies as it reads a column's text: ASCII capitals,
// and the second byte of the Latin-1 capitals À..Þ but ×, to small letters.
inline unsigned char foldByteAsRead(unsigned char byte, unsigned char previous)
{
    const bool ascii = static_cast<unsigned char>(byte - 'A') < 26;
    const bool latin1 = previous == 0xC3 && static_cast<unsigned char>(byte - 0x80) <= 0x1E && byte != 0x97;
    return static_cast<unsigned char>(byte + (ascii || latin1 ? 0x20 : 0));
}

// The byte a stored byte may also be when folding it as read gives `folded`:
// the capital of an ASCII letter, or of a Latin-1 letter's second byte; else
// `folded` itself.
inline unsigned char capitalAsRead(unsigned char folded)
{
    const bool ascii = folded >= 'a' && folded <= 'z';
    const bool latin1 = folded >= 0xA0 && folded <= 0xBE && folded != 0xB7;
    return static_cast<unsigned char>(ascii || latin1 ? folded - 0x20 : folded);
}

// The rows of a column whose folding is not the one a search applies as it
// reads the column's text (foldAsRead: ASCII and Latin-1 capitals, each
// byte in place), with their folded text; few rows in most columns.
struct OtherFolds {
    std::vector<std::uint32_t> rows; // ascending
    // rows[i] folded is bytes[starts[i] .. starts[i + 1] - 1).
    std::string bytes;
    std::vector<std::uint32_t> starts{0};

    // Adds row `row` when `value` does not fold as read.
    void note(std::uint32_t row, std::string_view value);
    // Appends `later`'s rows, numbered from `firstRow`; false past 32 bits.
    bool append(const OtherFolds &later, std::uint32_t firstRow);
};

// `value` as a search reads it from a column's text: `out` is replaced.
void foldAsRead(std::string_view value, std::string &out);

// A column as searches read it: its text, values each followed by
// valueSeparator, row r's at bytes[starts[r] .. starts[r + 1] - 1), folded
// as read but for the rows of `others`.
struct SearchText {
    std::string_view bytes;
    const std::uint32_t *starts = nullptr;
    const std::vector<std::uint8_t> *nulls = nullptr;
    const OtherFolds *others = nullptr; // never null

    std::size_t rows() const { return nulls->size(); }
};

// Gives rows' folded text one after the other, fastest when they are asked
// in ascending order; a view stays valid until the next call.
class RowFolder {
public:
    explicit RowFolder(const SearchText &text) : m_text(text) {}
    std::string_view operator()(std::uint32_t row);
    // Whether the row's folded text holds `needle`; a row folded as read is
    // compared where it lies.
    bool holds(std::uint32_t row, std::string_view needle);

private:
    // The row's text as kept, and the index of its other fold or npos.
    std::string_view stored(std::uint32_t row, std::size_t &other);
    std::string_view otherFold(std::size_t other) const;

    const SearchText &m_text;
    std::size_t m_nextOther = 0;
    std::string m_scratch;
};

} // namespace jet_engine
