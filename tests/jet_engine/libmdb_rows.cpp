// libmdb-rows PATH TABLE BIND_SIZE: prints every row of TABLE as libmdb's
// mdb_fetch_row gives it, every column bound. The differential tests run it
// as a child process under a time limit, since libmdb crashes or loops on
// some damaged files.
//
// Output: the table's definition as libmdb's MdbColumn structures hold it,
// then its rows. First a line with the number of columns; then per column,
// in libmdb's order, a line of tab-separated fields: name, type, size,
// col_prec, col_scale, is_fixed, col_num, var_col_num, fixed_offset (numbers
// in decimal; libmdb 1.0 keeps a Numeric column's scale in col_prec and its
// precision in col_scale, printed here as it keeps them). Then one line per
// row; per column 'N' for a value bound with length 0 (libmdb's null, which
// an empty text also gives), or 'V', the length in decimal, ':' and the bound
// bytes. Exit status 0 when the table was read to its end, 2 when the file
// does not open, 3 when the table does not.

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
    std::string line = std::to_string(columns) + '\n';
    for (unsigned i = 0; i < columns; ++i) {
        const auto *c = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
        line += c->name;
        const long fields[] = {c->col_type, c->col_size, c->col_prec,    c->col_scale,
                               c->is_fixed, c->col_num,  c->var_col_num, c->fixed_offset};
        for (const long field : fields)
            line += '\t' + std::to_string(field);
        line += '\n';
    }
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
