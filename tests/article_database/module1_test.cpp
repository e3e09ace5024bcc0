// The connection state at start-up, and where the database is looked for.

#include "article_database/module1.h"
#include "jet_engine/platform/operating_system.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <sys/inotify.h>
#include <unistd.h>

namespace article_database {

using namespace jet_engine;
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
    EXPECT_EQ(databasePath(operatingSystem()), (prefix.path() / GetParam().expected).string());
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
    EXPECT_EQ(databasePath(operatingSystem()), (home.path() / ".wine/drive_c/vantorelisk/tablearticle.mdb").string());
}

// Counts the opens of one file name in its folder as the kernel reports
// them: by any path or descriptor, whichever part of the engine makes them,
// and across the file being removed and written anew.
class OpensOf {
public:
    // The kernel folds an event into an identical one still at the tail of
    // the queue, so two opens in a row would count as one: the reads and
    // closes watched too keep them apart.
    explicit OpensOf(const std::filesystem::path &file)
        : m_name(file.filename().string())
        , m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd < 0 || inotify_add_watch(m_fd, file.parent_path().c_str(), IN_OPEN | IN_ACCESS | IN_CLOSE) < 0)
            throw std::system_error(errno, std::generic_category(), "inotify on " + file.parent_path().string());
    }
    ~OpensOf() { close(m_fd); }
    OpensOf(const OpensOf &) = delete;
    OpensOf &operator=(const OpensOf &) = delete;

    // Opens since the last call. The kernel queues an event before open()
    // returns, so everything done before this call is counted.
    int take()
    {
        int count = 0;
        alignas(inotify_event) char buffer[16 * 1024];
        for (ssize_t size; (size = read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < size;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->mask & IN_Q_OVERFLOW)
                    throw std::runtime_error("inotify queue overflowed");
                if ((event->mask & IN_OPEN) && !(event->mask & IN_ISDIR) && event->len > 0 && m_name == event->name)
                    ++count;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }

private:
    std::string m_name;
    int m_fd;
};

class Module1Test : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(databaseFile().parent_path());
        m_opens.emplace(databaseFile());
    }

    std::filesystem::path databaseFile() const { return m_prefix.path() / "drive_c/VANTORELISK/TABLEARTICLE.MDB"; }

    void writeDatabase(const char *tableName)
    {
        testing_support::writeOrFail(databaseFile().string(),
                                     {testing_support::table(tableName, {{"ARTICLE", ColumnType::Text, 50}},
                                                             {{std::string("Vis à bois")}})});
    }

    // How often the engine itself opens the file as it is now, for one open
    // of the database: libmdb, our page reader and more may each open it,
    // and how many of them do is the engine's business, not Module1's.
    int opensOfOneEngineOpen()
    {
        m_opens->take();
        Engine().openDatabase(databaseFile().string(), false, false);
        return m_opens->take();
    }

    TempDir m_prefix;
    ScopedEnv m_wine{"WINEPREFIX", m_prefix.path().c_str()};
    std::optional<OpensOf> m_opens;
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
    const int oneOpen = opensOfOneEngineOpen();
    EXPECT_EQ(oneOpen > 0, GetParam().onDisk != OnDisk::Nothing);

    Module1 module;
    EXPECT_EQ(m_opens->take(), 0) << "opened before OUVRIR_BASE";
    module.OUVRIR_BASE();
    EXPECT_EQ(m_opens->take(), oneOpen);
    module.ouvrirTableArticle();
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

enum class Breakage { Removed, Damaged };

struct ReopenCase {
    const char *name;
    Breakage breakage;
};

void PrintTo(const ReopenCase &c, std::ostream *os) { *os << c.name; }

class FailedReopenTest : public Module1Test, public testing::WithParamInterface<ReopenCase> {};

TEST_P(FailedReopenTest, KeepsTheConnectionUntilAReopenSucceeds)
{
    writeDatabase("ARTICLE");
    Module1 module;
    module.OUVRIR_BASE();
    const std::shared_ptr<Database> first = module.BaseArticle;
    ASSERT_TRUE(first);

    if (GetParam().breakage == Breakage::Removed)
        std::filesystem::remove(databaseFile());
    else
        testing_support::writeBytes(databaseFile().string(), std::string(4096, 'x'));
    // A removed file shows no open at all: only a damaged one shows the try.
    const int failedOpen = opensOfOneEngineOpen();
    EXPECT_EQ(failedOpen > 0, GetParam().breakage == Breakage::Damaged);
    module.OUVRIR_BASE();
    EXPECT_EQ(m_opens->take(), failedOpen);
    EXPECT_EQ(module.BaseArticle, first);

    writeDatabase("ARTICLE");
    const int oneOpen = opensOfOneEngineOpen();
    module.OUVRIR_BASE();
    EXPECT_EQ(m_opens->take(), oneOpen);
    EXPECT_NE(module.BaseArticle, first);
    EXPECT_TRUE(module.BaseArticle);
}

INSTANTIATE_TEST_SUITE_P(Breakages, FailedReopenTest,
                         testing::Values(ReopenCase{"file_removed", Breakage::Removed},
                                         ReopenCase{"file_damaged", Breakage::Damaged}),
                         [](const testing::TestParamInfo<ReopenCase> &info) { return std::string(info.param.name); });

TEST_F(Module1Test, TableStepWithoutDatabaseOpensNothing)
{
    // The current set comes from a copy elsewhere, whose reads the watch on
    // the database's folder does not see.
    TempDir elsewhere;
    testing_support::writeOrFail(elsewhere.file("copy.mdb"),
                                 {testing_support::table("ARTICLE", {{"ARTICLE", ColumnType::Text, 50}},
                                                         {{std::string("Vis à bois")}})});
    auto copy = Engine().openDatabase(elsewhere.file("copy.mdb"), false, false);
    ASSERT_TRUE(copy.ok());
    auto current = copy.value()->openRecordset(u"ARTICLE");
    ASSERT_TRUE(current.ok());
    writeDatabase("ARTICLE");
    m_opens->take();

    Module1 module;
    module.RsArticle = current.value();
    module.ouvrirTableArticle();
    EXPECT_EQ(m_opens->take(), 0);
    EXPECT_EQ(module.RsArticle, current.value());
    EXPECT_FALSE(module.BaseArticle);
}

} // namespace
} // namespace article_database
