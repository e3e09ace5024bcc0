// Writes the demo article database: demo-database OUTPUT.MDB
#include "designations.h"
#include "mdb_writer.h"

#include <cstdio>

namespace {
// Fixed so that every build writes the same demo catalogue.
constexpr std::uint64_t kDemoSeed = 20240611;
constexpr std::size_t kDemoArticles = 4000;
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo-database OUTPUT.MDB\n");
        return 2;
    }
    const std::string error =
        mdb_writer::writeDatabase(argv[1], {designations::articleTable(kDemoSeed, kDemoArticles)});
    if (!error.empty()) {
        std::fprintf(stderr, "demo-database: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
