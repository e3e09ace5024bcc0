#pragma once
// Temporary directories and .mdb files written with the team's writer.

#include "mdb_writer.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace jet_engine::testing_support {

using ::test_support::TempDir;

inline mdb_writer::Table table(std::string name, std::vector<mdb_writer::Column> columns,
                               std::vector<mdb_writer::Row> rows)
{
    mdb_writer::Table t;
    t.name = std::move(name);
    t.columns = std::move(columns);
    t.rows = std::move(rows);
    return t;
}

inline void writeOrFail(const std::string &path, const std::vector<mdb_writer::Table> &tables,
                        mdb_writer::Format format = mdb_writer::Format::Jet4)
{
    const std::string error = mdb_writer::writeDatabase(path, tables, format);
    ASSERT_EQ(error, "") << path;
}

inline std::string readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace jet_engine::testing_support
