// The query text reader and the LIKE matcher on arbitrary input. The input is
// split at its first NUL byte: before it, the pattern (also wrapped in the
// search's query text); after it, values to match. Patterns made of literals
// and stars take a fast path; a plain reading of the pattern must agree with it.

#include "jet_engine/query/like_pattern.h"
#include "jet_engine/query/query_text.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/query/text_fold.h"
#include "jet_engine/text/unicode_text.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace jet_engine;

namespace {

std::u16string widen(std::string_view bytes)
{
    std::u16string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return out;
}

// The engine only ever matches UTF-8 it made itself (decoded from the file or
// from the UTF-16 search text), so arbitrary bytes are first put into that
// form: malformed sequences and surrogates become U+FFFD.
std::string engineUtf8(std::string_view bytes)
{
    std::string out;
    for (std::size_t pos = 0; pos < bytes.size();) {
        char32_t c = 0;
        if (nextWellFormed(bytes, pos, c)) {
            appendUtf8(out, c);
        } else {
            appendUtf8(out, replacementCharacter);
            ++pos;
        }
    }
    return out;
}

// Whether `pattern` holds only plain characters and stars; then the pieces
// between the stars, folded.
bool literalPieces(std::string_view pattern, std::vector<std::string> &pieces)
{
    pieces.assign(1, {});
    std::string raw;
    for (const char c : pattern) {
        if (c == '?' || c == '#' || c == '[' || c == ']')
            return false;
        if (c == '*') {
            appendFolded(pieces.back(), raw);
            raw.clear();
            pieces.emplace_back();
        } else {
            raw.push_back(c);
        }
    }
    appendFolded(pieces.back(), raw);
    return true;
}

// Stars between literal pieces, matched greedily from the left: the first
// piece pinned to the start, the last to the end.
bool naiveMatch(const std::vector<std::string> &pieces, std::string_view value)
{
    if (pieces.size() == 1)
        return value == pieces[0];
    if (value.substr(0, pieces.front().size()) != pieces.front())
        return false;
    std::size_t at = pieces.front().size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        const std::size_t found = value.find(pieces[i], at);
        if (found == std::string_view::npos)
            return false;
        at = found + pieces[i].size();
    }
    const std::string &last = pieces.back();
    return value.size() >= at + last.size() && value.substr(value.size() - last.size()) == last;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t split = input.find('\0');
    const std::string pattern = engineUtf8(input.substr(0, split));
    const std::string rest = engineUtf8(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));

    parseQueryText(widen(input));
    std::u16string query = u"SELECT * FROM ARTICLE Where ARTICLE like '";
    query += widen(pattern);
    query += u"'";
    parseQueryText(query);

    const auto compiled = LikePattern::compile(pattern);
    if (!compiled.ok())
        return 0;
    std::vector<std::string> pieces;
    const bool plain = literalPieces(pattern, pieces);
    ColumnValues column;
    std::vector<std::uint32_t> expected;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find('\n', start), rest.size());
        const std::string_view value = std::string_view(rest).substr(start, end - start);
        std::string foldedValue;
        appendFolded(foldedValue, value);
        const bool matched = compiled.value().matches(foldedValue);
        if (plain && matched != naiveMatch(pieces, foldedValue))
            std::abort();
        if (matched)
            expected.push_back(static_cast<std::uint32_t>(column.rowCount()));
        column.text.append(value);
        column.endRow(false);
        start = end + 1;
    }
    // The column scan looks for the literal across all values at once.
    const auto rows = static_cast<std::uint32_t>(column.rowCount());
    std::vector<ColumnValues> columns;
    columns.push_back(std::move(column));
    const Snapshot snapshot({"ARTICLE"}, std::move(columns), rows);
    if (selectRows(snapshot, 0, compiled.value()) != expected)
        std::abort();
    // Once the column's index is built, searches go through it instead.
    snapshot.bigrams(0);
    if (selectRows(snapshot, 0, compiled.value()) != expected)
        std::abort();
    return 0;
}
