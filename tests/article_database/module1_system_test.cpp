// Where Module1 looks for the database when the system says where it lies:
// the part of its start-up that is the same on every system.

#include "article_database/module1.h"
#include "jet_engine/platform/operating_system.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace article_database {

using namespace jet_engine;
namespace {

using mdb_writer::ColumnType;
using testing_support::TempDir;

// This system's, except that every Windows path lies at one file the test
// chose, and the paths asked for are kept.
class PlacingSystem final : public OperatingSystem {
public:
    explicit PlacingSystem(std::string place) : m_place(std::move(place)) {}

    Outcome<std::unique_ptr<ReadableFile>> openForReading(const std::string &path) override
    {
        return operatingSystem().openForReading(path);
    }
    std::optional<FileIdentity> identify(const std::string &path) override { return operatingSystem().identify(path); }
    std::int64_t fileClockNs() override { return operatingSystem().fileClockNs(); }
    std::unique_ptr<CodePageConverter> codePage(unsigned codePage) override
    {
        return operatingSystem().codePage(codePage);
    }
    std::string windowsPath(std::string_view path) override
    {
        asked.emplace_back(path);
        return m_place;
    }

    std::vector<std::string> asked;

private:
    std::string m_place;
};

// Under Windows no Wine prefix is looked at: the module must take the
// database's place from the system it was handed, whatever the environment.
TEST(Module1SystemTest, OpensTheDatabaseWhereTheSystemPutsIt)
{
    TempDir dir;
    const std::string place = dir.file("elsewhere.mdb");
    testing_support::writeOrFail(place, {testing_support::table("ARTICLE", {{"ARTICLE", ColumnType::Text, 50}},
                                                                 {{std::string("Écrou M6")}})});
    PlacingSystem system(place);
    Module1 module(system);
    module.OUVRIR_BASE();
    module.ouvrirTableArticle();
    EXPECT_EQ(system.asked, std::vector<std::string>{"C:\\VANTORELISK\\TABLEARTICLE.MDB"});
    ASSERT_TRUE(module.RsArticle);
    EXPECT_EQ(module.RsArticle->field(0).value().text, "Écrou M6");
}

} // namespace
} // namespace article_database
