#pragma once
// Every row of a table as three readers give it: our engine, libmdb (in a
// child process, under a time limit) and mdb-export; and the one form in
// which they can be compared.

#include "article_database/engine.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace article_database::testing_support {

// A value in the form libmdb prints it; nullopt where libmdb binds nothing.
using Shown = std::optional<std::string>;
using ShownRow = std::vector<Shown>;

struct Reading {
    bool ok = false;
    std::string failure;
    // Per column: a Single, Double or Decimal value, compared as a number.
    std::vector<bool> real;
    std::vector<ShownRow> rows;
};

// Opens the table by name and reads every field of every row.
Reading readWithEngine(const std::string &path, const std::string &table);
// Fails when libmdb crashes, runs out of time or prints a warning.
Reading readWithLibmdb(const std::string &path, const std::string &table, std::size_t bindSize,
                       int timeLimitSeconds);
// mdb-export prints no types: `real` comes from another reading.
Reading readWithMdbExport(const std::string &path, const std::string &table, const std::vector<bool> &real);

std::string describe(const ShownRow &row);
// Where two rows first differ, bytes around it in hex; empty when equal.
std::string firstDifference(const ShownRow &a, const ShownRow &b);

} // namespace article_database::testing_support
