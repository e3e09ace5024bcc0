#include "reader_rows.h"

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/jet_file.h"
#include "child_process.h"
#include "read_back.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace jet_engine::testing_support {

namespace {

// libmdb binds a null and an empty text alike, with length 0.
Shown bound(std::string_view value)
{
    return value.empty() ? Shown{} : Shown{std::string(value)};
}

// libmdb and mdb-export print a Double with 16 significant digits, the
// engine the shortest text that reads back as the same number; both are
// compared at 15 digits.
std::string realForm(const std::string &printed)
{
    char *end = nullptr;
    const double value = std::strtod(printed.c_str(), &end);
    if (end == printed.c_str() || *end != '\0')
        return printed;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

// libmdb converts text through UCS-2, which lacks surrogates: a character
// beyond the BMP comes out as one '?' per UTF-16 unit. Where the engine
// shows U+FFFD for a unit or byte that is no character (an unpaired
// surrogate, a byte Windows-1252 leaves unmapped), libmdb shows '?'. And it
// binds values as C strings, so a value ends at its first NUL.
std::string ucs2Form(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if ((static_cast<unsigned char>(text[i]) & 0xF8) == 0xF0) {
            out += "??";
            i += 4;
        } else if (text.substr(i, 3) == "\xEF\xBF\xBD") {
            out += '?';
            i += 3;
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

bool isReal(int type)
{
    return type == static_cast<int>(JetType::Single) || type == static_cast<int>(JetType::Double);
}

void normaliseReals(Reading &reading)
{
    for (ShownRow &row : reading.rows)
        for (std::size_t c = 0; c < row.size() && c < reading.real.size(); ++c)
            if (reading.real[c] && row[c])
                *row[c] = realForm(*row[c]);
}

} // namespace

Definition readDefinitionWithEngine(const std::string &path, const std::string &table)
{
    Definition definition;
    auto file = JetFile::open(operatingSystem(), path);
    if (!file.ok()) {
        definition.failure = "open: " + std::string(describe(file.status()));
        return definition;
    }
    const std::optional<TableRef> found = file.value()->findTable(table);
    if (!found) {
        definition.failure = "no table " + table;
        return definition;
    }
    auto layout = file.value()->definition(*found);
    if (!layout.ok()) {
        definition.failure = "definition: " + std::string(describe(layout.status()));
        return definition;
    }
    for (const ColumnLayout &c : layout.value().columns)
        definition.columns.push_back(
            {c.name, c.type, c.size, c.precision, c.scale, c.fixed, c.number, c.varIndex, c.fixedOffset});
    definition.ok = true;
    return definition;
}

Reading readWithEngine(const std::string &path, const std::string &table)
{
    Reading reading;
    const Definition definition = readDefinitionWithEngine(path, table);
    if (!definition.ok) {
        reading.failure = definition.failure;
        return reading;
    }
    for (const DefinedColumn &column : definition.columns)
        reading.real.push_back(isReal(column.type));
    Engine engine;
    auto database = engine.openDatabase(path, false, true);
    if (!database.ok()) {
        reading.failure = "open: " + std::string(describe(database.status()));
        return reading;
    }
    const std::u16string name(table.begin(), table.end());
    auto opened = database.value()->openRecordset(name);
    if (!opened.ok()) {
        reading.failure = "recordset: " + std::string(describe(opened.status()));
        return reading;
    }
    Recordset &rows = *opened.value();
    for (;;) {
        const auto atEnd = rows.eof();
        if (!atEnd.ok()) {
            reading.failure = "row " + std::to_string(reading.rows.size()) + ": " + std::string(describe(atEnd.status()));
            return reading;
        }
        if (atEnd.value())
            break;
        ShownRow row;
        for (int column = 0;; ++column) {
            const auto value = rows.field(column);
            if (value.status() == Status::NoSuchColumn)
                break;
            // Columns past the first are read when first asked for, and
            // that read can fail on its own.
            if (!value.ok()) {
                reading.failure = "row " + std::to_string(reading.rows.size()) + ", column "
                    + std::to_string(column) + ": " + std::string(describe(value.status()));
                return reading;
            }
            const FieldValue &field = value.value();
            // libmdb binds a boolean as "1" or "0".
            if (field.kind == FieldValue::Kind::Boolean)
                row.emplace_back(field.text == "True" ? "1" : "0");
            else if (field.isNull())
                row.emplace_back();
            else
                row.push_back(bound(ucs2Form(field.text)));
        }
        reading.rows.push_back(std::move(row));
        if (const Status moved = rows.moveNext(); moved != Status::Ok) {
            reading.failure = "row " + std::to_string(reading.rows.size()) + ": " + std::string(describe(moved));
            return reading;
        }
    }
    normaliseReals(reading);
    reading.ok = true;
    return reading;
}

Reading readWithLibmdb(const std::string &path, const std::string &table, std::size_t bindSize, int timeLimitSeconds)
{
    Reading reading;
    const test_support::Output o =
        test_support::run({LIBMDB_ROWS_PATH, path, table, std::to_string(bindSize)}, timeLimitSeconds);
    if (o.timedOut || o.status != 0) {
        reading.failure = o.timedOut ? "libmdb ran out of time" : "libmdb exit status " + std::to_string(o.status);
        return reading;
    }
    // libmdb warns when it meets data it cannot read, and goes on with what
    // it has, at times with bytes from beyond the end of the file: such a
    // reading is not one to hold the engine to.
    if (!o.err.empty()) {
        reading.failure = "libmdb warned: " + o.err.substr(0, o.err.find('\n'));
        return reading;
    }
    std::size_t at = o.out.find('\n');
    const unsigned long columns = std::strtoul(o.out.c_str(), nullptr, 10);
    for (unsigned long c = 0; c < columns && at != std::string::npos; ++c) {
        const std::size_t end = o.out.find('\n', at + 1);
        if (end == std::string::npos)
            break;
        std::istringstream fields(o.out.substr(at + 1, end - at - 1));
        DefinedColumn &column = reading.columns.emplace_back();
        std::getline(fields, column.name, '\t');
        int libmdbPrecision = 0;
        int libmdbScale = 0;
        fields >> column.type >> column.size >> libmdbPrecision >> libmdbScale >> column.fixed >> column.number
            >> column.varIndex >> column.fixedOffset;
        // libmdb 1.0 reads a Numeric column's precision into col_scale and
        // its scale into col_prec (the values it prints come out right: its
        // printing swaps them back). Swapped back here, they are what the
        // definition holds.
        column.precision = column.type == static_cast<int>(JetType::Numeric) ? libmdbScale : libmdbPrecision;
        column.scale = column.type == static_cast<int>(JetType::Numeric) ? libmdbPrecision : libmdbScale;
        reading.real.push_back(isReal(column.type));
        at = end;
    }
    if (at == std::string::npos || reading.columns.size() != columns || columns == 0) {
        reading.failure = "no column definitions";
        return reading;
    }
    ++at;
    while (at < o.out.size()) {
        ShownRow row;
        while (at < o.out.size() && o.out[at] != '\n') {
            if (o.out[at] == 'N') {
                row.emplace_back();
                ++at;
                continue;
            }
            const std::size_t colon = o.out.find(':', at);
            const std::size_t length = std::strtoull(o.out.c_str() + at + 1, nullptr, 10);
            row.push_back(std::string(o.out, colon + 1, length));
            at = colon + 1 + length;
        }
        reading.rows.push_back(std::move(row));
        ++at;
    }
    normaliseReals(reading);
    reading.ok = true;
    return reading;
}

Reading readWithMdbExport(const std::string &path, const std::string &table, const std::vector<bool> &real)
{
    Reading reading;
    reading.real = real;
    try {
        std::vector<writer_test::PrintedRow> csv = writer_test::exportCsv(path, table);
        if (!csv.empty())
            csv.erase(csv.begin());
        for (const writer_test::PrintedRow &printed : csv) {
            ShownRow row;
            for (const writer_test::Printed &value : printed)
                row.push_back(value ? bound(*value) : Shown{});
            reading.rows.push_back(std::move(row));
        }
    } catch (const std::exception &e) {
        reading.failure = e.what();
        return reading;
    }
    normaliseReals(reading);
    reading.ok = true;
    return reading;
}

std::string schemaType(const DefinedColumn &column, bool jet3)
{
    switch (static_cast<JetType>(column.type)) {
    case JetType::Boolean: return "Boolean NOT NULL";
    case JetType::LongInteger: return "Long Integer";
    case JetType::Double: return "Double";
    case JetType::Text: return "Text (" + std::to_string(jet3 ? column.size : column.size / 2) + ")";
    case JetType::Memo: return "Memo/Hyperlink (255)";
    case JetType::Numeric:
        return "Numeric (" + std::to_string(column.precision) + ", " + std::to_string(column.scale) + ")";
    default: return {};
    }
}

std::string firstDifference(const ShownRow &a, const ShownRow &b)
{
    if (a.size() != b.size())
        return std::to_string(a.size()) + " columns against " + std::to_string(b.size());
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (a[c] == b[c])
            continue;
        if (!a[c] || !b[c])
            return "column " + std::to_string(c) + ": " + (a[c] ? "a value" : "null") + " against "
                + (b[c] ? "a value" : "null");
        std::size_t at = 0;
        while (at < a[c]->size() && at < b[c]->size() && (*a[c])[at] == (*b[c])[at])
            ++at;
        const auto around = [at](const std::string &s) {
            const std::size_t from = at < 8 ? 0 : at - 8;
            std::string shown;
            for (char ch : s.substr(from, 24)) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(ch));
                shown += hex;
            }
            return shown;
        };
        return "column " + std::to_string(c) + ", " + std::to_string(a[c]->size()) + " against "
            + std::to_string(b[c]->size()) + " bytes, first difference at byte " + std::to_string(at) + ": "
            + around(*a[c]) + " against " + around(*b[c]);
    }
    return {};
}

std::string describe(const ShownRow &row)
{
    std::string out = "(";
    for (std::size_t c = 0; c < row.size(); ++c) {
        if (c > 0)
            out += ", ";
        out += row[c] ? "\"" + row[c]->substr(0, 40) + (row[c]->size() > 40 ? "…" : "") + "\"" : "null";
    }
    return out + ")";
}

} // namespace jet_engine::testing_support
