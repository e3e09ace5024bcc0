// Writes the demo article database: demo-database OUTPUT.MDB
#include "designations.h"
#include "mdb_writer.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo-database OUTPUT.MDB\n");
        return 2;
    }
    using namespace designations;
    const std::string error = mdb_writer::writeDatabase(argv[1], {articleTable(kDemoSeed, kDemoArticles)});
    if (!error.empty()) {
        std::fprintf(stderr, "demo-database: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
