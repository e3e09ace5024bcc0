#pragma once
// Realistic article designations (French hardware and supplies) for the demo
// database, the tests and the benchmarks. Everything is a pure function of a
// seed and a row index, computed with integer arithmetic only, so the same
// seed gives the same catalogue on every machine and library version, and any
// row can be made without the ones before it.

#include "mdb_writer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace designations {

// The designation of article `index`: mostly upper case without accents, as
// typed into the old system, some upper case with accents, about one in ten
// in mixed case ("Équerre d'assemblage 40x40x40").
std::string designation(std::uint64_t seed, std::size_t index);

// Whether article `index` has no designation at all (a few per thousand).
bool missing(std::uint64_t seed, std::size_t index);

// The characters a designation can reach, for sizing the text column.
constexpr int kMaxDesignationChars = 120;

// The demo database's catalogue, fixed so every build writes the same file.
constexpr std::uint64_t kDemoSeed = 20240611;
constexpr std::size_t kDemoArticles = 4000;

// The article table: ARTICLE (the designation, text, null when missing()),
// REFERENCE (long integer) and PRIX (double, whole cents), generated row by
// row so a million rows are never held at once.
mdb_writer::Table articleTable(std::uint64_t seed, std::size_t rowCount);

} // namespace designations
