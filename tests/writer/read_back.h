#pragma once
// Reads written databases back the way other programs would: through the
// mdbtools command-line tools and through libmdb itself.

#include "mdb_writer.h"
#include "temp_dir.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace writer_test {

using test_support::TempDir;

// A value as a tool printed it; nullopt for null.
using Printed = std::optional<std::string>;
using PrintedRow = std::vector<Printed>;

// mdb-export with a null marker; the first row holds the column names.
// Throws when mdb-export fails or warns.
std::vector<PrintedRow> exportCsv(const std::string &path, const std::string &table);

// Empty when `printed` shows `cell` of `column` as mdbtools prints it, else
// a description of the difference. `viaDouble`: the tool's numbers went
// through a double (mdb-json's, once parsed), so a Numeric value is held
// to 15 digits only.
std::string mismatch(const mdb_writer::Column &column, const mdb_writer::Cell &cell, const Printed &printed,
                     bool viaDouble = false);

// Compares every value mdb-export and mdb-json print with the written one,
// reporting through GoogleTest.
void expectToolsShow(const std::string &path, const mdb_writer::Table &table);

// Rows as a tool printed them against the rows a reader should show, their
// first column a Long that tells them apart: rows moved away from their
// home (`moved`) as a set, the others in order. libmdb and the tools list
// moved data where it lies rather than at its home. Reports through
// GoogleTest.
void expectShown(const char *tool, const std::vector<PrintedRow> &printed,
                 const std::vector<mdb_writer::Column> &columns, const std::vector<mdb_writer::Row> &rows,
                 const std::vector<bool> &moved);

// A tool's output without its final newline; the run must succeed silently.
std::string toolLine(const std::vector<std::string> &argv);

// The "[NAME]\t\t\tType" lines of mdb-schema, per table.
using Schema = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;
Schema schema(const std::string &path);

// A field as libmdb's row cracker finds it in the page.
struct StoredField {
    bool null = true;
    std::vector<std::uint8_t> bytes;
};

struct LibmdbTable {
    std::vector<std::string> columns;
    std::vector<int> types;
    unsigned declaredRows = 0;
    int usageMapType = -1;
    std::vector<std::vector<std::string>> bound;
    std::vector<std::vector<StoredField>> stored;
};

// Every row through mdb_fetch_row. libmdb cuts a value at the bind size
// (16384 bytes unless raised) and allocates that much for every text value
// it converts, so raise it only as far as the longest value needs.
std::optional<LibmdbTable> readWithLibmdb(const std::string &path, const std::string &table,
                                          std::size_t bindSize = 16384);

struct CatalogEntry {
    std::string name;
    int type = 0;
    bool userTable = false;
    bool systemTable = false;
};
std::vector<CatalogEntry> readCatalog(const std::string &path);

} // namespace writer_test
