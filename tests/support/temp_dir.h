#pragma once
// A folder of the test's own, removed with all it holds when the test ends.

#include <filesystem>
#include <string>

namespace test_support {

class TempDir {
public:
    // Throws std::runtime_error when no folder can be made.
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::string file(const std::string &name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace test_support
