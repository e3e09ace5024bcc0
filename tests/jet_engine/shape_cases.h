#pragma once
// Every edited shape the writer makes, in Jet 4 and Jet 3: the rows of the
// tests that hold two readings of one file to each other.

#include "shape_catalog.h"

#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

struct ShapeCase {
    mdb_writer::Format format;
    std::string shape;
};

inline void PrintTo(const ShapeCase &c, std::ostream *os)
{
    *os << c.shape << (c.format == mdb_writer::Format::Jet3 ? " (Jet 3)" : " (Jet 4)");
}

inline std::vector<ShapeCase> allShapes()
{
    std::vector<ShapeCase> cases;
    for (mdb_writer::Format format : {mdb_writer::Format::Jet4, mdb_writer::Format::Jet3})
        for (const std::string &name : mdb_writer::shapes::names())
            cases.push_back({format, name});
    return cases;
}

// A test name for gtest: the shape and its format.
inline std::string shapeCaseName(const ShapeCase &c)
{
    return c.shape + (c.format == mdb_writer::Format::Jet3 ? "_Jet3" : "_Jet4");
}

} // namespace testing_support
