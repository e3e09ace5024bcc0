// A kept FileState must see every way another program can change the file,
// read its bytes only while the file's times may hide a write, and name the
// pages that changed, numbered as the file's own pages.

#include "jet_engine/watch/file_state.h"
#include "file_changes.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {
namespace {

using testing_support::TempDir;

// This system's files under a file clock the test sets. Once `times` is set,
// the path reports those times whatever is written to it, as a write within
// one tick of a coarse clock leaves them; size and file number stay the
// file's own.
class ClockedSystem final : public OperatingSystem {
public:
    struct Times {
        std::int64_t modifiedNs;
        std::int64_t changedNs;
    };
    std::int64_t clockNs = 0;
    std::optional<Times> times;
    int opens = 0;

    Outcome<std::unique_ptr<ReadableFile>> openForReading(const std::string &path) override
    {
        ++opens;
        return operatingSystem().openForReading(path);
    }
    std::optional<FileIdentity> identify(const std::string &path) override
    {
        auto identity = operatingSystem().identify(path);
        if (identity && times) {
            identity->modifiedNs = times->modifiedNs;
            identity->changedNs = times->changedNs;
        }
        return identity;
    }
    std::int64_t fileClockNs() override { return clockNs; }
    std::unique_ptr<CodePageConverter> codePage(unsigned codePage) override
    {
        return operatingSystem().codePage(codePage);
    }
    std::string windowsPath(std::string_view path) override { return operatingSystem().windowsPath(path); }
};

constexpr std::size_t fullPages = 20; // of 4096 bytes: more than one 64 KiB block
constexpr std::size_t fileBytes = fullPages * 4096 + 1000;

// Bytes whose first page names Jet 3 (pages of 2048 bytes), or no Jet
// format at all (cut at 4096).
std::string fileOf(std::size_t size, bool jet3)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    if (jet3) {
        bytes.replace(0, 20, std::string("\0\1\0\0Standard Jet DB\0", 20));
        bytes[0x14] = 0;
    }
    return bytes;
}

struct ChangeCase {
    const char *name;
    bool settled;
    std::function<void(const std::string &path, ClockedSystem &system)> change;
    bool unchanged;
    // Whether the second look read the file, not only its identity.
    bool readsBytes;
};

void PrintTo(const ChangeCase &c, std::ostream *os) { *os << c.name; }

void writeOneByte(const std::string &path, ClockedSystem &)
{
    test_support::WrittenFile(path, test_support::WrittenFile::Opening::Existing).writeAt(70000, "!");
}

const ChangeCase changeCases[] = {
    {"untouched_settled", true, [](const std::string &, ClockedSystem &) {}, true, false},
    {"untouched_unsettled", false, [](const std::string &, ClockedSystem &) {}, true, true},
    {"grown", false,
     [](const std::string &path, ClockedSystem &) {
         test_support::WrittenFile(path, test_support::WrittenFile::Opening::Existing).endAt(fileBytes + 4096);
     },
     false, false},
    {"times_moved", true, [](const std::string &, ClockedSystem &system) { system.times->modifiedNs += 1; }, false,
     false},
    {"replaced_by_a_copy_of_its_bytes", true,
     [](const std::string &path, ClockedSystem &) {
         const std::string copy = path + ".copy";
         testing_support::writeBytes(copy, testing_support::readBytes(path));
         ASSERT_EQ(test_support::replaceByRename(copy, path), 0);
     },
     false, false},
    {"removed", false, [](const std::string &path, ClockedSystem &) { ASSERT_EQ(test_support::deleteFile(path), 0); },
     false, false},
    {"bytes_written_times_kept_unsettled", false, writeOneByte, false, true},
    // Settled times move with any write: a write that kept them is not one
    // this file can have had.
    {"bytes_written_times_kept_settled", true, writeOneByte, true, false},
};

class FileChangeTest : public testing::TestWithParam<ChangeCase> {};

TEST_P(FileChangeTest, SeenAtTheNextLook)
{
    TempDir dir;
    const std::string path = dir.file("watched.mdb");
    testing_support::writeBytes(path, fileOf(fileBytes, false));
    ClockedSystem system;
    system.times = ClockedSystem::Times{100, 100};
    system.clockNs = GetParam().settled ? 101 : 100;
    std::vector<char> buffer;
    const auto before = FileState::capture(system, path, buffer);
    ASSERT_TRUE(before);
    ASSERT_EQ(before->settled(), GetParam().settled);

    GetParam().change(path, system);
    system.opens = 0;
    EXPECT_EQ(before->unchanged(system, buffer), GetParam().unchanged);
    EXPECT_EQ(system.opens > 0, GetParam().readsBytes);
}

INSTANTIATE_TEST_SUITE_P(Changes, FileChangeTest, testing::ValuesIn(changeCases),
                         [](const testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

// Times not behind the clock may hide a write; equal is not behind.
struct ClockCase {
    const char *name;
    ClockedSystem::Times times;
    bool settled;
};

void PrintTo(const ClockCase &c, std::ostream *os) { *os << c.name; }

const ClockCase clockCases[] = {
    {"both_behind", {100, 199}, true},
    {"modified_in_this_tick", {200, 100}, false},
    {"changed_in_this_tick", {100, 200}, false},
    {"modified_ahead_as_a_server_sets_it", {900, 100}, false},
};

class SettledTimesTest : public testing::TestWithParam<ClockCase> {};

TEST_P(SettledTimesTest, DigestsOnlyWhatTheTimesMayHide)
{
    TempDir dir;
    const std::string path = dir.file("watched.mdb");
    testing_support::writeBytes(path, fileOf(fileBytes, false));
    ClockedSystem system;
    system.times = GetParam().times;
    system.clockNs = 200;
    std::vector<char> buffer;
    const auto state = FileState::capture(system, path, buffer);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->settled(), GetParam().settled);
    EXPECT_EQ(system.opens, GetParam().settled ? 0 : 1);
    EXPECT_EQ(state->changedPages(*state).has_value(), !GetParam().settled);
}

INSTANTIATE_TEST_SUITE_P(Clocks, SettledTimesTest, testing::ValuesIn(clockCases),
                         [](const testing::TestParamInfo<ClockCase> &info) { return std::string(info.param.name); });

std::vector<std::uint32_t> pagesFrom(std::uint32_t first, std::uint32_t end)
{
    std::vector<std::uint32_t> pages;
    for (std::uint32_t page = first; page < end; ++page)
        pages.push_back(page);
    return pages;
}

struct PagesCase {
    const char *name;
    bool jet3;
    std::function<void(std::string &bytes)> change;
    std::optional<std::vector<std::uint32_t>> changed;
};

void PrintTo(const PagesCase &c, std::ostream *os) { *os << c.name; }

const PagesCase pagesCases[] = {
    {"same_bytes", false, [](std::string &) {}, std::vector<std::uint32_t>{}},
    {"one_byte_past_the_first_block", false, [](std::string &bytes) { bytes[70000] ^= 1; },
     std::vector<std::uint32_t>{17}},
    {"jet3_pages_of_2048", true, [](std::string &bytes) { bytes[70000] ^= 1; }, std::vector<std::uint32_t>{34}},
    {"first_and_cut_last_page", false,
     [](std::string &bytes) {
         bytes[0] ^= 1;
         bytes.back() ^= 1;
     },
     std::vector<std::uint32_t>{0, fullPages}},
    {"grown_by_two_pages", false, [](std::string &bytes) { bytes.append(2 * 4096, 'G'); },
     pagesFrom(fullPages, fullPages + 3)},
    {"cut_inside_page_3", false, [](std::string &bytes) { bytes.resize(3 * 4096 + 10); },
     pagesFrom(3, fullPages + 1)},
    {"page_size_changed", true, [](std::string &bytes) { bytes[0x14] = 1; }, std::nullopt},
};

class ChangedPagesTest : public testing::TestWithParam<PagesCase> {};

TEST_P(ChangedPagesTest, NamesThePagesWhoseBytesDiffer)
{
    TempDir dir;
    const std::string path = dir.file("watched.mdb");
    std::string bytes = fileOf(fileBytes, GetParam().jet3);
    testing_support::writeBytes(path, bytes);
    ClockedSystem system;
    system.clockNs = std::numeric_limits<std::int64_t>::max();
    std::vector<char> buffer;
    const auto before = FileState::capture(system, path, buffer, nullptr, FileState::Digests::Always);
    ASSERT_TRUE(before);
    GetParam().change(bytes);
    testing_support::writeBytes(path, bytes);
    const auto after = FileState::capture(system, path, buffer, nullptr, FileState::Digests::Always);
    ASSERT_TRUE(after);
    EXPECT_EQ(before->changedPages(*after), GetParam().changed);
}

INSTANTIATE_TEST_SUITE_P(Pages, ChangedPagesTest, testing::ValuesIn(pagesCases),
                         [](const testing::TestParamInfo<PagesCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
