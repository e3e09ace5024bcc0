#include "shape_catalog.h"

#include <algorithm>
#include <stdexcept>

namespace mdb_writer::shapes {

namespace {

// Letters both formats hold, with accents; Jet 4 also gets characters that
// defeat its one-byte compression, and one beyond the BMP.
std::string text(std::size_t seed, std::size_t characters, Format format)
{
    static const char *const western[] = {"a", "b", "c", "é", "ç", "€", " ", "x", "Y", "z", "0", "1"};
    static const char *const wider[] = {"a", "Ω", "b", "中", "c", "é"};
    const bool wide = format == Format::Jet4 && seed % 4 == 3;
    std::string out;
    for (std::size_t i = 0; i < characters; ++i) {
        // A marker every 100 characters makes a misplaced piece visible.
        if (i % 100 == 0)
            out += static_cast<char>('A' + (seed + i / 100) % 26);
        else if (wide)
            out += i == 1 && seed % 8 == 7 ? "😀" : wider[(seed + i) % std::size(wider)];
        else
            out += western[(seed * 7 + i) % std::size(western)];
    }
    return out;
}

// N, designation, price, flag and note: the columns of the article tables.
Table articles(const std::string &name, std::size_t count, Format format)
{
    Table t;
    t.name = name;
    t.columns = {{"N", ColumnType::LongInteger},
                 {"DESIGNATION", ColumnType::Text, 80},
                 {"PRIX", ColumnType::Double},
                 {"ACTIF", ColumnType::Boolean},
                 {"NOTE", ColumnType::Memo}};
    for (std::size_t i = 0; i < count; ++i) {
        Row row{static_cast<std::int32_t>(i), Null{}, Null{}, i % 3 == 0, Null{}};
        if (i % 11 != 4)
            row[1] = text(i, 10 + (i * 13) % 70, format);
        if (i % 7 != 2)
            row[2] = static_cast<double>(i) * 1.25 - 100.0;
        if (i % 5 == 1)
            row[4] = text(i + 1, i % 10 == 1 ? 300 : 40, format);
        t.rows.push_back(std::move(row));
    }
    return t;
}

Table deletedColumns(Format format)
{
    Table t;
    t.name = "COLONNES";
    t.columns = {{"ANCIEN_CODE", ColumnType::LongInteger, 255, true},
                 {"N", ColumnType::LongInteger},
                 {"ANCIEN_TEXTE", ColumnType::Text, 40, true},
                 {"DESIGNATION", ColumnType::Text, 60},
                 {"ANCIEN_NOMBRE", ColumnType::Double, 255, true},
                 {"NOTE", ColumnType::Memo},
                 {"ANCIENNE_NOTE", ColumnType::Memo, 255, true},
                 {"PRIX", ColumnType::Double},
                 {"ANCIEN_DRAPEAU", ColumnType::Boolean, 255, true},
                 {"ACTIF", ColumnType::Boolean},
                 {"FIN", ColumnType::Text, 20},
                 {"ANCIENNE_FIN", ColumnType::Text, 20, true}};
    // Rows written before the columns were dropped keep their values; rows
    // written after have them null.
    for (std::size_t i = 0; i < 200; ++i) {
        const bool before = i % 2 == 0;
        Row row(t.columns.size(), Null{});
        row[1] = static_cast<std::int32_t>(i);
        if (i % 9 != 3)
            row[3] = text(i, 5 + i % 50, format);
        if (i % 4 == 1)
            row[5] = text(i + 3, i % 8 == 1 ? 500 : 30, format);
        row[7] = 0.5 * static_cast<double>(i);
        row[8] = before && i % 3 != 0;
        row[9] = i % 3 == 0;
        if (i % 6 != 5)
            row[10] = text(i + 5, 1 + i % 19, format);
        if (before) {
            row[0] = static_cast<std::int32_t>(-1000 - static_cast<int>(i));
            row[2] = "OLD " + text(i + 9, 20, format);
            row[4] = -3.5 * static_cast<double>(i);
            row[6] = "OLD NOTE " + text(i + 11, i % 4 == 0 ? 400 : 10, format);
            row[11] = "OLD END";
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

// Memo lengths on each side of each storage boundary: in the row, alone on
// a long-value page, compressed or not, and chained over several pages.
Table longMemos(Format format)
{
    const std::size_t page = format == Format::Jet3 ? 2036 : 4080;
    const std::size_t piece = page - 4;
    const std::size_t lengths[] = {0,         1,         63,        64,        65,           1024,
                                   1025,      page - 2,  page,      page + 1,  2 * piece,    2 * piece + 1,
                                   3 * piece, 5 * piece + 17, 20000, 40000};
    Table t;
    t.name = "MEMOS";
    t.columns = {{"N", ColumnType::LongInteger}, {"NOTE", ColumnType::Memo}, {"TITRE", ColumnType::Text, 30}};
    std::size_t n = 0;
    for (std::size_t length : lengths) {
        for (std::size_t variant = 0; variant < 2; ++variant) {
            // Variant 1 of Jet 4 stores two bytes per character.
            const std::size_t seed = variant == 0 ? 4 * n : 4 * n + 3;
            t.rows.push_back({static_cast<std::int32_t>(n), text(seed, length, format), text(n, n % 30, format)});
            ++n;
        }
    }
    t.rows.push_back({static_cast<std::int32_t>(n), Null{}, Null{}});
    return t;
}

// Rows whose variable data grows to the page's limit: Jet 3 keeps offsets in
// one byte and needs a jump table for each 256 bytes.
Table longRows(Format format)
{
    constexpr std::size_t kColumns = 16;
    // The variable data of a row that fills its page: with every column
    // non-empty, Jet 4 adds 77 bytes around the text (two of them per
    // column marking it compressed), Jet 3 33 (seven of them a jump table).
    const std::size_t most = format == Format::Jet3 ? 2003 : 4003;
    Table t;
    t.name = "LONGUES";
    t.columns.push_back({"N", ColumnType::LongInteger});
    for (std::size_t c = 0; c < kColumns; ++c)
        t.columns.push_back({"T" + std::to_string(c), ColumnType::Text, 255});
    for (std::size_t i = 0; i < 160; ++i) {
        const std::size_t total = i == 0 ? most : (i * 251) % (most - 1);
        Row row(t.columns.size(), Null{});
        row[0] = static_cast<std::int32_t>(i);
        std::size_t left = total;
        for (std::size_t c = 0; c < kColumns && left > 0; ++c) {
            const std::size_t columnsLeft = kColumns - c;
            std::size_t take = std::min<std::size_t>(255, left);
            if (i % 3 == 1 && columnsLeft > 1 && left < 255 * (columnsLeft - 1))
                take = std::min<std::size_t>(take, left / 2 + 2);
            take = std::max<std::size_t>(take, 2);
            row[1 + c] = std::string(take, static_cast<char>('a' + (i + c) % 26));
            left -= std::min(left, take);
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

Table wideRows(Format format)
{
    static const ColumnType kinds[] = {ColumnType::Text, ColumnType::LongInteger, ColumnType::Double,
                                       ColumnType::Boolean, ColumnType::Text, ColumnType::Memo};
    Table t;
    t.name = "LARGE";
    t.columns.push_back({"N", ColumnType::LongInteger});
    for (std::size_t c = 1; c < 180; ++c)
        t.columns.push_back({"COLONNE_" + std::to_string(c), kinds[c % std::size(kinds)], 12});
    for (std::size_t i = 0; i < 60; ++i) {
        Row row(t.columns.size(), Null{});
        row[0] = static_cast<std::int32_t>(i);
        for (std::size_t c = 1; c < t.columns.size(); ++c) {
            const ColumnType kind = t.columns[c].type;
            if (kind == ColumnType::Boolean) {
                row[c] = (i + c) % 2 == 0;
                continue;
            }
            if ((i * 31 + c) % 5 == 0)
                continue;
            if (kind == ColumnType::LongInteger)
                row[c] = static_cast<std::int32_t>(i * 1000 + c);
            else if (kind == ColumnType::Double)
                row[c] = static_cast<double>(c) / 8.0 - static_cast<double>(i);
            else
                row[c] = text(i + c, (i + c) % (kind == ColumnType::Memo ? 90 : 12), format);
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

// More data pages than an inline usage map covers (512 in Jet 4, 1024 in
// Jet 3), with rows moved and deleted here and there.
Table manyPages(Format format)
{
    Table t;
    t.name = "GRANDE";
    t.columns = {{"N", ColumnType::LongInteger}, {"DESIGNATION", ColumnType::Text, 255}, {"PRIX", ColumnType::Double}};
    const std::size_t count = format == Format::Jet3 ? 9000 : 14000;
    for (std::size_t i = 0; i < count; ++i)
        t.rows.push_back({static_cast<std::int32_t>(i), text(i, 250 + i % 5, format), static_cast<double>(i) / 3.0});
    for (std::size_t i = 5; i < count; i += 997)
        t.movedRows.insert(i);
    for (std::size_t i = 7; i < count; i += 1009)
        t.deletedRows.insert(i);
    return t;
}

// Numeric columns of several precisions and scales between the other kinds,
// and a deleted one whose 17 bytes stay in the rows. The first rows hold
// magnitudes at the edges of each 32-bit word of the stored value.
Table numerics(Format format)
{
    static const char *const edges[] = {"0",
                                        "1",
                                        "9",
                                        "10",
                                        "4294967295",
                                        "4294967296",
                                        "18446744073709551615",
                                        "18446744073709551616",
                                        "79228162514264337593543950",
                                        "9999999999999999999999999999"};
    Table t;
    t.name = "DECIMAUX";
    t.columns = {{"N", ColumnType::LongInteger},
                 {.name = "MONTANT", .type = ColumnType::Numeric, .precision = 18, .scale = 0},
                 {"DESIGNATION", ColumnType::Text, 40},
                 {.name = "PRIX", .type = ColumnType::Numeric, .precision = 10, .scale = 2},
                 {.name = "ANCIEN_TAUX", .type = ColumnType::Numeric, .deleted = true, .precision = 12, .scale = 4},
                 {.name = "TAUX", .type = ColumnType::Numeric, .precision = 28, .scale = 10},
                 {"QUANTITE", ColumnType::Double},
                 {.name = "CHIFFRE", .type = ColumnType::Numeric, .precision = 1, .scale = 0},
                 {.name = "FRACTION", .type = ColumnType::Numeric, .precision = 28, .scale = 28},
                 {"ACTIF", ColumnType::Boolean}};
    for (std::size_t i = 0; i < 160; ++i) {
        Row row(t.columns.size(), Null{});
        row[0] = static_cast<std::int32_t>(i);
        for (std::size_t c = 1; c < t.columns.size(); ++c) {
            const Column &column = t.columns[c];
            if (column.type != ColumnType::Numeric || (i + c) % 9 == 4)
                continue;
            const auto precision = static_cast<std::size_t>(column.precision);
            std::string magnitude;
            if (i < std::size(edges) && std::string(edges[i]).size() <= precision) {
                magnitude = edges[i];
            } else {
                // Lengths from one digit to the precision, the first digit never 0.
                const std::size_t length = 1 + (i * 7 + c) % precision;
                for (std::size_t d = 0; d < length; ++d)
                    magnitude += static_cast<char>('0' + (d == 0 ? 1 + (i + c) % 9 : (i * 13 + d * c) % 10));
            }
            const bool negative = i % 3 == 1 && magnitude != "0";
            row[c] = decimal(magnitude, column.scale, negative);
        }
        if (i % 5 != 2)
            row[2] = text(i, 3 + i % 37, format);
        if (i % 4 != 3)
            row[6] = static_cast<double>(i) / 16.0 - 3.0;
        row[9] = i % 2 == 0;
        t.rows.push_back(std::move(row));
    }
    return t;
}

// Text and memo columns deleted, as Access leaves them: the definition still
// counts their slots in the rows' variable-column table (more slots than
// columns left), and the highest number ever used (the last column, also
// deleted) stays above every live one. Rows written before the deletion
// keep values in those slots; rows written after have them null.
Table moreSlotsThanColumns(Format format)
{
    Table t;
    t.name = "EMPLACEMENTS";
    t.columns = {{"N", ColumnType::LongInteger},
                 {"ANCIEN_TITRE", ColumnType::Text, 40, true},
                 {"DESIGNATION", ColumnType::Text, 60},
                 {"ANCIENNE_NOTE", ColumnType::Memo, 255, true},
                 {"ANCIEN_CODE", ColumnType::Text, 10, true},
                 {"PRIX", ColumnType::Double},
                 {"ANCIEN_COMMENTAIRE", ColumnType::Memo, 255, true},
                 {"NOTE", ColumnType::Memo},
                 {"ANCIENNE_REFERENCE", ColumnType::Text, 20, true}};
    for (std::size_t i = 0; i < 150; ++i) {
        const bool before = i % 3 != 0;
        Row row(t.columns.size(), Null{});
        row[0] = static_cast<std::int32_t>(i);
        if (i % 8 != 5)
            row[2] = text(i, 2 + i % 58, format);
        if (i % 6 != 1)
            row[5] = 0.25 * static_cast<double>(i) - 7.0;
        if (i % 4 == 2)
            row[7] = text(i + 7, i % 8 == 2 ? 700 : 25, format);
        if (before) {
            row[1] = "OLD " + text(i + 1, 1 + i % 36, format);
            row[3] = "OLD NOTE " + text(i + 2, i % 5 == 0 ? 600 : 20, format);
            row[4] = text(i + 3, 1 + i % 10, format);
            row[6] = text(i + 4, 70 + i % 30, format);
            row[8] = text(i + 5, 1 + i % 20, format);
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

} // namespace

Decimal decimal(const std::string &magnitude, int scale, bool negative)
{
    const auto point = static_cast<std::size_t>(scale);
    std::string digits = magnitude;
    if (digits.size() <= point)
        digits.insert(0, point + 1 - digits.size(), '0');
    if (point > 0)
        digits.insert(digits.size() - point, ".");
    return {negative ? "-" + digits : digits};
}

std::string decimalText(const Decimal &value, int scale)
{
    const std::string &text = value.text;
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t point = std::min(text.find('.'), text.size());
    std::string magnitude = text.substr(negative ? 1 : 0, point - (negative ? 1 : 0));
    std::string fraction = point < text.size() ? text.substr(point + 1) : std::string();
    fraction.resize(static_cast<std::size_t>(scale), '0');
    magnitude += fraction;
    magnitude.erase(0, std::min(magnitude.find_first_not_of('0'), magnitude.size()));
    return (negative && !magnitude.empty() ? "-" : "")
        + decimal(magnitude.empty() ? "0" : magnitude, scale, false).text;
}

std::vector<std::string> names()
{
    return {"MovedRows", "DeletedRows", "DeletedColumns", "LongMemos",           "LongRows",
            "WideRows",  "ManyPages",   "Edited",         "StrayOverflowPointer", "Numerics",
            "MoreSlotsThanColumns"};
}

Shape shape(const std::string &name, Format format)
{
    if (name == "MovedRows") {
        Table moved = articles("DEPLACEES", 400, format);
        moved.movedRows = {0, 3, 10, 11, 12, 57, 150, 199, 398, 399};
        return {name, moved};
    }
    if (name == "DeletedRows") {
        Table deleted = articles("SUPPRIMEES", 300, format);
        deleted.deletedRows = {0, 1, 7, 299};
        // Enough rows in a row to leave a whole page without a live one.
        for (std::size_t i = 100; i < 180; ++i)
            deleted.deletedRows.insert(i);
        return {name, deleted};
    }
    if (name == "DeletedColumns")
        return {name, deletedColumns(format)};
    if (name == "LongMemos")
        return {name, longMemos(format)};
    if (name == "LongRows")
        return {name, longRows(format)};
    if (name == "WideRows")
        return {name, wideRows(format)};
    if (name == "ManyPages")
        return {name, manyPages(format)};
    if (name == "Edited") {
        Table edited = deletedColumns(format);
        edited.name = "MODIFIEE";
        for (std::size_t i = 0; i < edited.rows.size(); ++i) {
            if (i % 9 == 4)
                edited.movedRows.insert(i);
            else if (i % 13 == 6)
                edited.deletedRows.insert(i);
            if (i % 25 == 3)
                edited.rows[i][5] = text(i, 9000 + i, format);
        }
        return {name, edited};
    }
    if (name == "Numerics")
        return {name, numerics(format)};
    if (name == "MoreSlotsThanColumns")
        return {name, moreSlotsThanColumns(format)};
    if (name == "StrayOverflowPointer") {
        Table stray = articles("ABIMEE", 120, format);
        stray.movedRows = {2, 40, 41};
        stray.strayPointerRow = 17;
        return {name, stray, true};
    }
    throw std::invalid_argument("no shape named " + name);
}

std::vector<Shape> catalog(Format format)
{
    std::vector<Shape> shapes;
    for (const std::string &name : names())
        shapes.push_back(shape(name, format));
    return shapes;
}

Visible visible(const Table &table)
{
    Visible v;
    std::vector<std::size_t> kept;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (!table.columns[c].deleted) {
            v.columns.push_back(table.columns[c]);
            kept.push_back(c);
        }
    }
    const std::size_t count = table.generate ? table.rowCount : table.rows.size();
    Row generated;
    for (std::size_t i = 0; i < count; ++i) {
        if (table.deletedRows.count(i))
            continue;
        const Row *row = &generated;
        if (table.generate) {
            generated.assign(table.columns.size(), Null{});
            table.generate(i, generated);
        } else {
            row = &table.rows[i];
        }
        Row shown;
        for (std::size_t c : kept)
            shown.push_back((*row)[c]);
        v.rows.push_back(std::move(shown));
        v.moved.push_back(table.movedRows.count(i) != 0 || table.strayPointerRow == i);
    }
    return v;
}

std::size_t longestText(const Table &table)
{
    std::size_t longest = 0;
    for (const Row &row : table.rows)
        for (const Cell &cell : row)
            if (const auto *s = std::get_if<std::string>(&cell))
                longest = std::max(longest, s->size());
    return longest;
}

} // namespace mdb_writer::shapes
