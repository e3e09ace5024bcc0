// The program must never write the database: not a byte, not its time stamp,
// not a lock file beside it. The real window starts on a database in a Wine
// prefix, runs many searches, and the file and its folder are compared
// before and after.

#include "article_database/module1.h"
#include "never_write.h"
#include "search_window/qt/form1.h"
#include "temp_dir.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using never_write::entries;
using never_write::readBytes;

// The access mode of every descriptor this process holds on `path`, read
// from /proc: root ignores permission bits, so a file mode alone would not
// show that the file was opened for writing.
std::vector<int> accessModes(const fs::path &path)
{
    std::vector<int> modes;
    const fs::path target = fs::canonical(path);
    for (const auto &fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(fd.path(), error) != target || error)
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
        std::string key;
        while (info >> key) {
            if (key == "flags:") {
                std::string octal;
                info >> octal;
                modes.push_back(static_cast<int>(std::stol(octal, nullptr, 8)) & O_ACCMODE);
            }
        }
    }
    return modes;
}

class NeverWriteTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = m_prefix.path() / "drive_c" / "VANTORELISK";
        fs::create_directories(m_folder);
        m_database = m_folder / "TABLEARTICLE.MDB";
        ASSERT_EQ(mdb_writer::writeDatabase(m_database.string(), {never_write::articleTable()}), "");
        // Read-only for everyone, in a folder nobody may add to.
        fs::permissions(m_database, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read
                            | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        qputenv("WINEPREFIX", QByteArray::fromStdString(m_prefix.path().string()));
    }

    // Nothing can be removed from a read-only folder when the prefix goes.
    void TearDown() override { fs::permissions(m_folder, fs::perms::owner_all); }

    test_support::TempDir m_prefix;
    fs::path m_folder;
    fs::path m_database;
};

TEST_F(NeverWriteTest, StartUpAndSearchesLeaveTheFileAndItsFolderAsTheyWere)
{
    const std::string bytes = readBytes(m_database.string());
    struct stat before {};
    ASSERT_EQ(::stat(m_database.c_str(), &before), 0);
    const auto listed = entries(m_folder);

    {
        article_database::Module1 module;
        search_window::Form1 window(module);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(module.BaseArticle);

        const auto modes = accessModes(m_database);
        ASSERT_FALSE(modes.empty()) << "the open database holds no descriptor on the file";
        for (const int mode : modes)
            EXPECT_EQ(mode, O_RDONLY);

        auto *box = window.findChild<QLineEdit *>(QStringLiteral("RechGeneral"));
        ASSERT_NE(box, nullptr);
        for (const std::string &text : never_write::typedTexts()) {
            const QString typed = QString::fromStdString(text);
            for (qsizetype length = 1; length <= typed.size(); ++length)
                box->setText(typed.left(length));
        }
        for (const int mode : accessModes(m_database))
            EXPECT_EQ(mode, O_RDONLY);
    }

    struct stat after {};
    ASSERT_EQ(::stat(m_database.c_str(), &after), 0);
    EXPECT_EQ(readBytes(m_database.string()), bytes);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    EXPECT_EQ(entries(m_folder), listed);
}

} // namespace

int main(int argc, char **argv)
{
    // Listing the tests at build time runs this without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
