// Writes the engine target's seed files into the directory given: small
// databases of the shapes the engine has to read, so that the fuzzer starts
// from valid files and spends its time on damaged ones.

#include "designations.h"
#include "mdb_writer.h"
#include "shape_catalog.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using mdb_writer::Column;
using mdb_writer::ColumnType;
using mdb_writer::Format;
using mdb_writer::Null;
using mdb_writer::Table;

Table articles(std::vector<Column> columns, std::size_t count, std::function<void(std::size_t, mdb_writer::Row &)> generate)
{
    Table table;
    table.name = "ARTICLE";
    table.columns = std::move(columns);
    table.rowCount = count;
    table.generate = std::move(generate);
    return table;
}

// tools/fuzz.sh runs the engine target with -max_len=131072.
constexpr std::uintmax_t kMaxSeedBytes = 131072;

// Drops rows from the end until the file fits, keeping the moved and deleted
// rows that remain. The largest shapes (more pages than an inline usage map
// covers) cannot keep that property within the limit.
std::string writeShape(const std::string &path, mdb_writer::Table table, Format format)
{
    for (;;) {
        const std::string error = mdb_writer::writeDatabase(path, {table}, format);
        if (!error.empty() || std::filesystem::file_size(path) <= kMaxSeedBytes || table.rows.size() <= 1)
            return error;
        table.rows.resize(table.rows.size() / 2);
        for (std::set<std::size_t> *rows : {&table.deletedRows, &table.movedRows})
            rows->erase(rows->lower_bound(table.rows.size()), rows->end());
        if (table.strayPointerRow && *table.strayPointerRow >= table.rows.size())
            table.strayPointerRow.reset();
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    struct Seed {
        const char *name;
        std::vector<Table> tables;
        Format format;
    };
    const std::vector<Column> plain{{"ARTICLE", ColumnType::Text, designations::kMaxDesignationChars}, {"REFERENCE", ColumnType::LongInteger}};
    const auto named = [](std::size_t i, mdb_writer::Row &row) {
        row[0] = designations::designation(7, i);
        row[1] = static_cast<std::int32_t>(i);
    };
    const std::vector<Seed> seeds{
        {"small_jet4.mdb", {articles(plain, 12, named)}, Format::Jet4},
        {"small_jet3.mdb", {articles(plain, 12, named)}, Format::Jet3},
        {"nulls.mdb",
         {articles({{"ARTICLE", ColumnType::Text, 40}, {"PRIX", ColumnType::Double}, {"ACTIF", ColumnType::Boolean}}, 10,
                   [](std::size_t i, mdb_writer::Row &row) {
                       if (i % 3)
                           row[0] = "PIECE " + std::to_string(i);
                       if (i % 2)
                           row[1] = i * 1.25;
                       row[2] = i % 4 == 0;
                   })},
         Format::Jet4},
        {"memo_jet4.mdb",
         {articles({{"ARTICLE", ColumnType::Memo}, {"CODE", ColumnType::LongInteger}}, 4,
                   [](std::size_t i, mdb_writer::Row &row) {
                       row[0] = i == 0 ? std::string("COURT") : std::string(900 * i * i, static_cast<char>('A' + i));
                       row[1] = static_cast<std::int32_t>(i);
                   })},
         Format::Jet4},
        {"memo_jet3.mdb",
         {articles({{"ARTICLE", ColumnType::Memo}}, 3,
                   [](std::size_t i, mdb_writer::Row &row) { row[0] = std::string(1500 * (i + 1), 'E'); })},
         Format::Jet3},
        {"many_pages.mdb", {articles(plain, 1200, named)}, Format::Jet4},
        {"two_tables.mdb",
         {articles(plain, 5, named),
          [] {
              Table other;
              other.name = "FOURNISSEUR";
              other.columns = {{"NOM", ColumnType::Text, 30}};
              other.rows = {{std::string("DUPONT")}, {Null{}}};
              return other;
          }()},
         Format::Jet4},
    };
    for (const Seed &seed : seeds) {
        const std::string error = mdb_writer::writeDatabase(dir + "/" + seed.name, seed.tables, seed.format);
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n", seed.name, error.c_str());
            return 1;
        }
    }
    // Row shapes of edited files: moved and deleted rows, deleted columns,
    // long memos, long and wide rows, a stray overflow pointer.
    for (Format format : {Format::Jet4, Format::Jet3}) {
        for (const std::string &name : mdb_writer::shapes::names()) {
            const std::string file = "shape_" + name + (format == Format::Jet3 ? "_jet3.mdb" : "_jet4.mdb");
            const std::string error = writeShape(dir + "/" + file, mdb_writer::shapes::shape(name, format).table, format);
            if (!error.empty()) {
                std::fprintf(stderr, "%s: %s\n", file.c_str(), error.c_str());
                return 1;
            }
        }
    }
    return 0;
}
