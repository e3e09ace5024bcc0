// Rewrites one article's designation in a database bench-make-db wrote, in
// place, as a colleague editing it in Access would while the benchmark's
// reader has it open; with --keep-times the file's times stay as they were,
// as Windows shows them until Access lets the file go.

#include "mdb_editor.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char *argv[])
{
    const bool keepTimes = argc == 5 && std::string(argv[4]) == "--keep-times";
    char *end = nullptr;
    const unsigned long long row = argc == 4 || keepTimes ? std::strtoull(argv[2], &end, 10) : 0;
    if (end == nullptr || end == argv[2] || *end != '\0') {
        std::fprintf(stderr, "usage: bench-edit-db FILE.MDB ROW NEW-TEXT [--keep-times]\n");
        return 2;
    }
    mdb_writer::Editor editor;
    std::string error = editor.open(argv[1]);
    if (error.empty())
        error = editor.setText("ARTICLE", row, "ARTICLE", argv[3],
                               keepTimes ? mdb_writer::Times::Kept : mdb_writer::Times::Updated);
    if (!error.empty()) {
        std::fprintf(stderr, "bench-edit-db: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
