// Writes the benchmark's article database and the same designations as a text
// file, one per line, for the command-line tools it is compared with.

#include "designations.h"
#include "mdb_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench-make-db ROWS OUTPUT.MDB OUTPUT.TXT\n");
        return 2;
    }
    const std::size_t rows = std::strtoull(argv[1], nullptr, 10);
    constexpr std::uint64_t seed = 20261208;

    const std::string error = mdb_writer::writeDatabase(argv[2], {designations::articleTable(seed, rows)});
    if (!error.empty()) {
        std::fprintf(stderr, "bench-make-db: %s\n", error.c_str());
        return 1;
    }
    std::ofstream text(argv[3], std::ios::binary);
    for (std::size_t i = 0; i < rows; ++i) {
        if (!designations::missing(seed, i))
            text << designations::designation(seed, i) << '\n';
    }
    return text ? 0 : 1;
}
