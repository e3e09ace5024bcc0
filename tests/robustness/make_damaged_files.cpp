// Writes the hand-made damaged files of damaged_files/ into the folder given:
// small databases from our writer, each then broken in one known way, as a
// disk, a copy cut short or a program's fault leaves a file. They are kept
// as they were made, regression inputs for article-query
// (damaged_files_test.cpp); run this again only to add new ones.
//
//   make_damaged_files FOLDER

#include "file_bytes.h"
#include "mdb_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using mdb_writer::Format;
using test_support::le16;
using test_support::le32;
using test_support::put16;
using test_support::put32;

constexpr std::uint8_t definitionPage = 0x02;
constexpr std::uint8_t rowPage = 0x01;
constexpr std::uint16_t movedFlag = 0x4000;
constexpr std::uint16_t offsetMask = 0x1FFF;
// Two long-value pages in either format, no more: the files stay small.
constexpr std::size_t memoLength = 2100;

// Where the writer's pages keep what the damage changes, in each format.
struct Layout {
    std::size_t pageSize;
    std::size_t rowCount;       // on a row page
    std::size_t definitionRows; // a definition's row count
    std::size_t definitionColumns;
    std::size_t usageMapPointer; // in a definition
    std::size_t firstColumnEntry; // no indexes: right after the counts
    std::size_t columnType;       // in a column entry
    std::size_t columnSize;

    std::size_t rowTable() const { return rowCount + 2; }
};

constexpr Layout jet4Layout{4096, 12, 16, 45, 55, 63, 0, 23};
constexpr Layout jet3Layout{2048, 8, 12, 25, 35, 43, 0, 16};

// The database every damage starts from: designations, one memo long enough
// for a chain of long-value pages, and one row moved to another page.
std::string sample(Format format)
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {{"ARTICLE", mdb_writer::ColumnType::Text, 40},
                     {"CODE", mdb_writer::ColumnType::LongInteger},
                     {"NOTE", mdb_writer::ColumnType::Memo}};
    table.rowCount = 40;
    table.generate = [](std::size_t i, mdb_writer::Row &row) {
        row[0] = "VIS ECROU " + std::to_string(i);
        row[1] = static_cast<std::int32_t>(i);
        if (i == 7)
            row[2] = std::string(memoLength, 'n');
    };
    table.movedRows = {3};
    const char *staging = "damaged_files_sample.tmp";
    if (const std::string error = mdb_writer::writeDatabase(staging, {table}, format); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    std::ifstream in(staging, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::remove(staging);
    return bytes;
}

// The sample's bytes, and where its parts lie.
class File {
public:
    File(std::string bytes, const Layout &layout) : bytes(std::move(bytes)), l(layout)
    {
        for (std::size_t page = 3; page < pages(); ++page)
            if (type(page) == definitionPage) {
                table = page;
                break;
            }
        for (std::size_t page = 1; page < pages(); ++page) {
            if (type(page) != rowPage)
                continue;
            if (le32(this->bytes, at(page) + 4) == table)
                data.push_back(page);
            else if (this->bytes.compare(at(page) + 4, 4, "LVAL") == 0)
                longValues.push_back(page);
        }
    }

    std::size_t pages() const { return bytes.size() / l.pageSize; }
    std::size_t at(std::size_t page) const { return page * l.pageSize; }
    std::uint8_t type(std::size_t page) const { return static_cast<std::uint8_t>(bytes[at(page)]); }
    std::size_t rows(std::size_t page) const { return le16(bytes, at(page) + l.rowCount); }
    std::size_t entryAt(std::size_t page, std::size_t row) const { return at(page) + l.rowTable() + 2 * row; }
    std::uint16_t entry(std::size_t page, std::size_t row) const { return le16(bytes, entryAt(page, row)); }
    std::size_t rowAt(std::size_t page, std::size_t row) const { return at(page) + (entry(page, row) & offsetMask); }
    std::size_t definition(std::size_t offset) const { return at(table) + offset; }
    // The usage map row of the table, where it lies.
    std::size_t usageMap() const
    {
        const std::uint32_t pointer = le32(bytes, definition(l.usageMapPointer));
        return rowAt(pointer >> 8, pointer & 0xFF);
    }
    std::uint32_t usageMapPage() const { return le32(bytes, definition(l.usageMapPointer)) >> 8; }
    // The long-value pieces in chain order: each starts with the pointer to the next.
    std::vector<std::uint32_t> memoChain() const
    {
        std::vector<std::uint32_t> pieces;
        for (std::size_t page : longValues)
            for (std::size_t row = 0; row < rows(page); ++row)
                pieces.push_back(static_cast<std::uint32_t>(page << 8 | row));
        std::vector<std::uint32_t> chain;
        for (const std::uint32_t piece : pieces) {
            bool pointedAt = false;
            for (const std::uint32_t other : pieces)
                pointedAt = pointedAt || next(other) == piece;
            if (!pointedAt)
                chain.push_back(piece);
        }
        while (!chain.empty() && next(chain.back()) != 0)
            chain.push_back(next(chain.back()));
        return chain;
    }
    std::uint32_t next(std::uint32_t piece) const { return le32(bytes, rowAt(piece >> 8, piece & 0xFF)); }
    // The memo field in its row: the long value's length, with no flag since
    // it spreads over pages, then its first piece.
    std::size_t memoField() const
    {
        const std::uint32_t first = memoChain().front();
        for (std::size_t page : data)
            for (std::size_t at = this->at(page) + 4; at + 4 <= this->at(page + 1); ++at)
                if (le32(bytes, at) == first && le32(bytes, at - 4) > l.pageSize && le32(bytes, at - 4) < 0x40000000)
                    return at - 4;
        return 0;
    }
    // The moved row: its home entry, and the pointer it holds.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> movedRow() const
    {
        for (std::size_t page : data)
            for (std::size_t row = 0; row < rows(page); ++row)
                if ((entry(page, row) & 0xC000) == movedFlag)
                    return std::pair{static_cast<std::uint32_t>(page << 8 | row), le32(bytes, rowAt(page, row))};
        return std::nullopt;
    }

    std::string bytes;
    const Layout &l;
    std::size_t table = 0;
    std::vector<std::size_t> data;
    std::vector<std::size_t> longValues;
};

// Each damage is made in one format, Jet 3's 2 KB pages unless it lies in
// what Jet 4 lays out otherwise, so that the files stay small.
struct Damage {
    const char *name;
    Format format;
    std::function<void(File &)> apply;
};

constexpr Format jet3 = Format::Jet3;
constexpr Format jet4 = Format::Jet4;

// Far past the end of any of these files, yet a page number a row pointer can hold.
constexpr std::uint32_t farPage = 0x00FFFFF0;

const std::vector<Damage> &damages()
{
    static const std::vector<Damage> list{
        {"cut_in_the_header", jet3, [](File &f) { f.bytes.resize(100); }},
        {"cut_after_the_header_page", jet3, [](File &f) { f.bytes.resize(f.at(1)); }},
        {"cut_in_the_catalog", jet3, [](File &f) { f.bytes.resize(f.at(2) + f.l.pageSize / 2); }},
        {"cut_before_the_table_definition", jet3, [](File &f) { f.bytes.resize(f.at(f.table)); }},
        {"cut_in_the_rows", jet3, [](File &f) { f.bytes.resize(f.at(f.data.front()) + f.l.pageSize / 2); }},
        {"cut_one_byte_short", jet3, [](File &f) { f.bytes.pop_back(); }},
        {"header_zeroed", jet3, [](File &f) { std::fill_n(f.bytes.begin(), f.l.pageSize, '\0'); }},
        {"header_of_a_newer_format", jet3, [](File &f) { f.bytes[0x14] = '\x7F'; }},
        {"header_of_the_other_format", jet4, [](File &f) { f.bytes[0x14] = '\x00'; }},
        {"catalog_definition_zeroed", jet3,
         [](File &f) { std::fill_n(f.bytes.begin() + static_cast<long>(f.at(2)), f.l.pageSize, '\0'); }},
        {"table_definition_continues_past_the_end", jet3,
         [](File &f) { put32(f.bytes, f.at(f.table) + 4, farPage); }},
        {"table_definition_continues_into_itself", jet3,
         [](File &f) { put32(f.bytes, f.at(f.table) + 4, static_cast<std::uint32_t>(f.table)); }},
        {"huge_row_count", jet3, [](File &f) { put32(f.bytes, f.definition(f.l.definitionRows), 0xFFFFFFFF); }},
        {"huge_row_count_on_a_page", jet3,
         [](File &f) { put16(f.bytes, f.at(f.data.front()) + f.l.rowCount, 0xFFFF); }},
        {"no_columns", jet3, [](File &f) { put16(f.bytes, f.definition(f.l.definitionColumns), 0); }},
        {"huge_column_count", jet4, [](File &f) { put16(f.bytes, f.definition(f.l.definitionColumns), 0xFFFF); }},
        {"column_of_an_unknown_type", jet3,
         [](File &f) { f.bytes[f.definition(f.l.firstColumnEntry + f.l.columnType)] = '\x7E'; }},
        {"text_column_of_no_size", jet3,
         [](File &f) { put16(f.bytes, f.definition(f.l.firstColumnEntry + f.l.columnSize), 0); }},
        {"usage_map_row_past_the_end", jet3,
         [](File &f) { put32(f.bytes, f.definition(f.l.usageMapPointer), farPage << 8); }},
        {"usage_map_starting_past_the_end", jet3, [](File &f) { put32(f.bytes, f.usageMap() + 1, farPage); }},
        {"usage_map_naming_its_own_page", jet3,
         [](File &f) {
             const std::size_t map = f.usageMap();
             put32(f.bytes, map + 1, f.usageMapPage());
             std::fill_n(f.bytes.begin() + static_cast<long>(map) + 5, 4, '\0');
             f.bytes[map + 5] = '\x01';
         }},
        {"usage_map_of_bitmap_pages_pointing_to_itself", jet4,
         [](File &f) {
             const std::size_t map = f.usageMap();
             f.bytes[map] = '\x01';
             put32(f.bytes, map + 1, f.usageMapPage());
         }},
        {"usage_map_of_an_unknown_kind", jet3, [](File &f) { f.bytes[f.usageMap()] = '\x09'; }},
        {"row_offset_past_the_page", jet4,
         [](File &f) { put16(f.bytes, f.entryAt(f.data.front(), 0), static_cast<std::uint32_t>(offsetMask)); }},
        {"row_offsets_out_of_order", jet3,
         [](File &f) {
             const std::size_t page = f.data.front();
             const std::uint16_t first = f.entry(page, 0);
             put16(f.bytes, f.entryAt(page, 0), f.entry(page, 1));
             put16(f.bytes, f.entryAt(page, 1), first);
         }},
        {"moved_row_pointing_past_the_end", jet3,
         [](File &f) {
             const auto moved = f.movedRow();
             put32(f.bytes, f.rowAt(moved->first >> 8, moved->first & 0xFF), farPage << 8);
         }},
        {"moved_rows_pointing_at_each_other", jet4,
         [](File &f) {
             const auto [home, target] = *f.movedRow();
             const std::size_t page = target >> 8, row = target & 0xFF;
             put16(f.bytes, f.entryAt(page, row), (f.entry(page, row) & offsetMask) | movedFlag);
             put32(f.bytes, f.rowAt(page, row), home);
         }},
        {"memo_chain_back_to_its_start", jet3,
         [](File &f) {
             const auto chain = f.memoChain();
             put32(f.bytes, f.rowAt(chain.back() >> 8, chain.back() & 0xFF), chain.front());
         }},
        {"memo_chain_into_itself", jet3,
         [](File &f) {
             const std::uint32_t first = f.memoChain().front();
             put32(f.bytes, f.rowAt(first >> 8, first & 0xFF), first);
         }},
        {"memo_chain_past_the_end", jet3,
         [](File &f) {
             const std::uint32_t first = f.memoChain().front();
             put32(f.bytes, f.rowAt(first >> 8, first & 0xFF), farPage << 8);
         }},
        {"memo_of_huge_length", jet4, [](File &f) { put32(f.bytes, f.memoField(), 0x3FFFFFFF); }},
        {"memo_inline_longer_than_its_row", jet3, [](File &f) { put32(f.bytes, f.memoField(), 0x8000FFFF); }},
        {"long_value_pages_zeroed", jet3,
         [](File &f) {
             for (std::size_t page : f.longValues)
                 std::fill_n(f.bytes.begin() + static_cast<long>(f.at(page)), f.l.pageSize, '\0');
         }},
    };
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string samples[2] = {sample(Format::Jet4), sample(Format::Jet3)};
    for (const Damage &damage : damages()) {
        const bool oldFormat = damage.format == jet3;
        File file(samples[oldFormat], oldFormat ? jet3Layout : jet4Layout);
        if (file.table == 0 || file.data.empty() || file.longValues.size() < 2 || !file.movedRow()
            || file.memoField() == 0) {
            std::fprintf(stderr, "the sample is not laid out as this tool expects\n");
            return 1;
        }
        damage.apply(file);
        const std::string path =
            std::string(argv[1]) + "/" + damage.name + (oldFormat ? "_jet3.mdb" : "_jet4.mdb");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
