#pragma once
// A folder of the test's own, removed with all it holds when the test ends.

#include <QDir>
#include <QTemporaryDir>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace test_support {

class TempDir {
public:
    TempDir()
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary folder: " + m_dir.errorString().toStdString());
    }

    const std::filesystem::path &path() const { return m_path; }
    std::string file(const std::string &name) const { return (m_path / name).string(); }

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/fiche-test-XXXXXX")};
    std::filesystem::path m_path{m_dir.path().toStdString()};
};

} // namespace test_support
