#pragma once
// Every row of a table as three readers give it: our engine, libmdb (in a
// child process, under a time limit) and mdb-export; and the one form in
// which they can be compared. The table's definition as the engine and
// libmdb give it.

#include "jet_engine/engine.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace jet_engine::testing_support {

// A value in the form libmdb prints it; nullopt where libmdb binds nothing.
using Shown = std::optional<std::string>;
using ShownRow = std::vector<Shown>;

// A column as a table definition gives it, in the terms the engine's
// ColumnLayout and libmdb's MdbColumn share.
struct DefinedColumn {
    std::string name;
    int type = 0;
    int size = 0;
    int precision = 0;
    int scale = 0;
    bool fixed = false;
    // Its bit in the null mask; deleted columns leave gaps.
    int number = 0;
    // Variable columns: its entry in the row's offset table.
    int varIndex = 0;
    // Fixed columns: where its bytes start.
    int fixedOffset = 0;
};

struct Definition {
    bool ok = false;
    std::string failure;
    std::vector<DefinedColumn> columns;
};

struct Reading {
    bool ok = false;
    std::string failure;
    // Per column: a Single or Double value, compared as a number. Numeric
    // values are exact decimals, compared as text.
    std::vector<bool> real;
    std::vector<ShownRow> rows;
    // libmdb's reading only: the definition it read the rows with.
    std::vector<DefinedColumn> columns;
};

// JetFile::definition of the table found by name.
Definition readDefinitionWithEngine(const std::string &path, const std::string &table);
// Opens the table by name and reads every field of every row; its
// definition tells which columns are real.
Reading readWithEngine(const std::string &path, const std::string &table);
// Fails when libmdb crashes, runs out of time or prints a warning.
Reading readWithLibmdb(const std::string &path, const std::string &table, std::size_t bindSize,
                       int timeLimitSeconds);
// mdb-export prints no types: `real` comes from another reading.
Reading readWithMdbExport(const std::string &path, const std::string &table, const std::vector<bool> &real);

// "Long Integer", "Text (60)", "Numeric (18, 0)"...: the column's type as
// mdb-schema prints it; empty for a type the test writer never writes.
std::string schemaType(const DefinedColumn &column, bool jet3);

std::string describe(const ShownRow &row);
// Where two rows first differ, bytes around it in hex; empty when equal.
std::string firstDifference(const ShownRow &a, const ShownRow &b);

} // namespace jet_engine::testing_support
