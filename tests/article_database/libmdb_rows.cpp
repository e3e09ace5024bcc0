// libmdb-rows PATH TABLE BIND_SIZE: prints every row of TABLE as libmdb's
// mdb_fetch_row gives it, every column bound. The differential tests run it
// as a child process under a time limit, since libmdb crashes or loops on
// some damaged files.
//
// Output: a line of the columns' types, each as two decimal digits and a
// space; then one line per row; per column 'N' for a value bound with length 0
// (libmdb's null, which an empty text also gives), or 'V', the length in
// decimal, ':' and the bound bytes. Exit status 0 when the table was read to
// its end, 2 when the file does not open, 3 when the table does not.

// mdbtools.h opens an extern "C" block around its glib include, which C++
// templates in glib reject unless glib.h came first.
#include <glib.h>
#include <mdbtools.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: libmdb-rows PATH TABLE BIND_SIZE\n");
        return 64;
    }
    MdbHandle *mdb = mdb_open(argv[1], MDB_NOFLAGS);
    if (!mdb)
        return 2;
    const std::size_t bindSize = std::strtoull(argv[3], nullptr, 10);
    mdb_set_bind_size(mdb, bindSize);
    MdbTableDef *table = mdb_read_table_by_name(mdb, argv[2], MDB_TABLE);
    if (!table || !mdb_read_columns(table))
        return 3;
    const unsigned columns = table->num_cols;
    std::vector<std::vector<char>> buffers(columns, std::vector<char>(bindSize + 1));
    std::vector<int> lengths(columns, 0);
    for (unsigned i = 0; i < columns; ++i)
        mdb_bind_column(table, static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
    std::string line;
    for (unsigned i = 0; i < columns; ++i) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
        char type[8];
        std::snprintf(type, sizeof type, "%02d ", column->col_type % 100);
        line += type;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        line.clear();
        for (unsigned i = 0; i < columns; ++i) {
            if (lengths[i] <= 0) {
                line += 'N';
                continue;
            }
            line += 'V' + std::to_string(lengths[i]) + ':';
            line.append(buffers[i].data(), static_cast<std::size_t>(lengths[i]));
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
