#pragma once
// What the never-write tests of both windows share: the database they start
// on, what is typed into it, and how the file and its folder are read back.

#include "mdb_writer.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace never_write {

// Memos spread over long-value pages, so that searches read those too.
inline mdb_writer::Table articleTable()
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {{"ARTICLE", mdb_writer::ColumnType::Text, 60}, {"NOTE", mdb_writer::ColumnType::Memo}};
    table.rowCount = 600;
    table.generate = [](std::size_t i, mdb_writer::Row &row) {
        row[0] = "ARTICLE " + std::to_string(i) + (i % 2 ? " VIS" : " ÉCROU");
        if (i % 50 == 0)
            row[1] = std::string(5000, 'n');
    };
    return table;
}

// Typed a character at a time, as a user does: one search each. Patterns,
// quotes and misses take other paths than a plain hit.
inline const std::vector<std::string> &typedTexts()
{
    static const std::vector<std::string> texts{"AR", "ARTICLE 1", "VIS", "écrou", "*", "[A-Z]#", "'", "ZZZ",
                                                "ARTICLE 5?9"};
    return texts;
}

inline std::string readBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::set<std::string> entries(const std::filesystem::path &dir)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace never_write
