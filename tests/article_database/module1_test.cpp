// The connection state at start-up, and where the database is looked for.

#include "article_database/module1.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <optional>

namespace article_database {
namespace {

using mdb_writer::ColumnType;
using testing_support::TempDir;

// Sets an environment variable for one test, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

void touch(const std::filesystem::path &path)
{
    std::filesystem::create_directories(path.parent_path());
    testing_support::writeBytes(path.string(), "");
}

struct PathCase {
    const char *name;
    std::vector<const char *> files;       // made (with their folders) under the prefix
    std::vector<const char *> directories; // made under the prefix
    const char *expected;                  // relative to the prefix
};

void PrintTo(const PathCase &c, std::ostream *os) { *os << c.name; }

class DatabasePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(DatabasePathTest, MatchesEachComponentIgnoringCase)
{
    TempDir prefix;
    for (const char *file : GetParam().files)
        touch(prefix.path() / file);
    for (const char *directory : GetParam().directories)
        std::filesystem::create_directories(prefix.path() / directory);
    ScopedEnv wine("WINEPREFIX", prefix.path().c_str());
    EXPECT_EQ(databasePath(), (prefix.path() / GetParam().expected).string());
}

INSTANTIATE_TEST_SUITE_P(
    Wine, DatabasePathTest,
    testing::Values(
        PathCase{"as_written", {"drive_c/VANTORELISK/TABLEARTICLE.MDB"}, {}, "drive_c/VANTORELISK/TABLEARTICLE.MDB"},
        PathCase{"other_case", {"Drive_C/vantorelisk/TableArticle.mdb"}, {}, "Drive_C/vantorelisk/TableArticle.mdb"},
        PathCase{"nothing_there", {}, {}, "drive_c/VANTORELISK/TABLEARTICLE.MDB"},
        PathCase{"folder_missing", {}, {"DRIVE_C"}, "DRIVE_C/VANTORELISK/TABLEARTICLE.MDB"},
        PathCase{"file_missing", {}, {"drive_c/Vantorelisk"}, "drive_c/Vantorelisk/TABLEARTICLE.MDB"},
        PathCase{"exact_case_preferred",
                 {"drive_c/vantorelisk/TABLEARTICLE.MDB", "drive_c/VANTORELISK/TABLEARTICLE.MDB"},
                 {},
                 "drive_c/VANTORELISK/TABLEARTICLE.MDB"},
        PathCase{"similar_names_ignored", {"drive_c/VANTORELISK2/TABLEARTICLE.MDB"}, {},
                 "drive_c/VANTORELISK/TABLEARTICLE.MDB"}),
    [](const testing::TestParamInfo<PathCase> &info) { return std::string(info.param.name); });

TEST(DatabasePathHomeTest, UsesDotWineInHomeWithoutPrefix)
{
    TempDir home;
    touch(home.path() / ".wine/drive_c/vantorelisk/tablearticle.mdb");
    ScopedEnv wine("WINEPREFIX", nullptr);
    ScopedEnv homeVariable("HOME", home.path().c_str());
    EXPECT_EQ(databasePath(), (home.path() / ".wine/drive_c/vantorelisk/tablearticle.mdb").string());
}

class Module1Test : public testing::Test {
protected:
    std::filesystem::path databaseFile() const { return m_prefix.path() / "drive_c/VANTORELISK/TABLEARTICLE.MDB"; }

    void writeDatabase(const char *tableName)
    {
        std::filesystem::create_directories(databaseFile().parent_path());
        testing_support::writeOrFail(databaseFile().string(),
                                     {testing_support::table(tableName, {{"ARTICLE", ColumnType::Text, 50}},
                                                             {{std::string("Vis à bois")}})});
    }

    TempDir m_prefix;
    ScopedEnv m_wine{"WINEPREFIX", m_prefix.path().c_str()};
};

enum class OnDisk { Nothing, WithoutArticle, WithArticle };

struct StartupCase {
    const char *name;
    OnDisk onDisk;
    bool baseSet;
    bool tableSet;
};

void PrintTo(const StartupCase &c, std::ostream *os) { *os << c.name; }

class StartupTest : public Module1Test, public testing::WithParamInterface<StartupCase> {};

TEST_P(StartupTest, OpensWhatIsThereSilently)
{
    if (GetParam().onDisk == OnDisk::WithoutArticle)
        writeDatabase("CLIENT");
    else if (GetParam().onDisk == OnDisk::WithArticle)
        writeDatabase("ARTICLE");

    Module1 module;
    EXPECT_FALSE(module.engineCreated());
    module.OUVRIR_BASE();
    module.ouvrirTableArticle();
    EXPECT_TRUE(module.engineCreated());
    EXPECT_EQ(module.openCount(), 1);
    EXPECT_EQ(module.BaseArticle != nullptr, GetParam().baseSet);
    EXPECT_EQ(module.RsArticle != nullptr, GetParam().tableSet);
    if (module.RsArticle) {
        EXPECT_EQ(module.RsArticle->field(0).value().text, "Vis à bois");
    }
}

INSTANTIATE_TEST_SUITE_P(States, StartupTest,
                         testing::Values(StartupCase{"database_absent", OnDisk::Nothing, false, false},
                                         StartupCase{"table_absent", OnDisk::WithoutArticle, true, false},
                                         StartupCase{"table_present", OnDisk::WithArticle, true, true}),
                         [](const testing::TestParamInfo<StartupCase> &info) { return std::string(info.param.name); });

TEST_F(Module1Test, FailedReopenKeepsConnectionAndEngine)
{
    writeDatabase("ARTICLE");
    Module1 module;
    module.OUVRIR_BASE();
    const std::shared_ptr<Database> first = module.BaseArticle;
    ASSERT_TRUE(first);

    std::filesystem::remove(databaseFile());
    module.OUVRIR_BASE();
    EXPECT_EQ(module.BaseArticle, first);
    EXPECT_EQ(module.openCount(), 2);

    writeDatabase("ARTICLE");
    module.OUVRIR_BASE();
    EXPECT_NE(module.BaseArticle, first);
    EXPECT_TRUE(module.BaseArticle);
}

TEST_F(Module1Test, TableStepWithoutDatabaseLeavesCurrentSet)
{
    writeDatabase("ARTICLE");
    Module1 withDatabase;
    withDatabase.OUVRIR_BASE();
    withDatabase.ouvrirTableArticle();
    ASSERT_TRUE(withDatabase.RsArticle);

    Module1 module;
    module.RsArticle = withDatabase.RsArticle;
    module.ouvrirTableArticle();
    EXPECT_EQ(module.RsArticle, withDatabase.RsArticle);
    EXPECT_FALSE(module.engineCreated());
}

} // namespace
} // namespace article_database
