#include "temp_dir.h"

#include <cstdio>
#include <random>
#include <stdexcept>
#include <system_error>

namespace test_support {

TempDir::TempDir()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error)
        throw std::runtime_error("no temporary folder: " + error.message());
    // Test binaries run side by side under ctest -j: a random name, and
    // another while the one drawn is taken, since creating the folder is the
    // one step that cannot race.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "fiche-test-%08x%08x", random(), random());
        const fs::path candidate = base / name;
        if (fs::create_directory(candidate, error)) {
            m_path = candidate;
            return;
        }
        if (error)
            throw std::runtime_error("cannot make a folder in " + base.string() + ": " + error.message());
    }
    throw std::runtime_error("no free folder name in " + base.string());
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace test_support
