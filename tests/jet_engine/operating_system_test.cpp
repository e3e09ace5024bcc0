// What the engine relies on from the operating system, checked against this
// system's side of the boundary. Nothing here calls the system itself, so
// the same tests hold the POSIX side and the Windows side to one contract.
// The decisions each side takes from the system's answers are checked here
// too, both sides' on either system: no test machine has a network share,
// nor a disk that refuses unaligned reads.

#include "jet_engine/format/stored_text.h"
#include "jet_engine/platform/aligned_reads.h"
#include "jet_engine/platform/network_volume.h"
#include "jet_engine/platform/operating_system.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace jet_engine {
namespace {

using test_support::TempDir;

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.flush()) << path;
}

// Bytes that differ from one offset to the next, so that a read from the
// wrong place shows.
std::string numbered(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// The two ways a file is opened for reading, which read the same bytes.
struct Opener {
    const char *name;
    Outcome<std::unique_ptr<ReadableFile>> (OperatingSystem::*open)(const std::string &path);
};

void PrintTo(const Opener &o, std::ostream *os) { *os << o.name; }

const Opener openers[] = {{"cached", &OperatingSystem::openForReading},
                          {"past_cache", &OperatingSystem::openPastCache}};

std::unique_ptr<ReadableFile> openOrFail(const std::string &path, const Opener &opener = openers[0])
{
    auto file = (operatingSystem().*opener.open)(path);
    EXPECT_TRUE(file.ok()) << path << ": " << describe(file.status());
    return file.ok() ? std::move(file.value()) : nullptr;
}

// What a read returned, as text: the bytes, or "error".
std::string readAt(const ReadableFile &file, std::uint64_t offset, std::size_t size)
{
    std::string into(size, '\0');
    const auto got = file.read(offset, into.data(), size);
    if (!got)
        return "error";
    into.resize(*got);
    return into;
}

struct ReadCase {
    const char *name;
    std::size_t fileSize;
    std::uint64_t offset;
    std::size_t size;
    std::size_t expected; // bytes read, from `offset` on
};

void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.name; }

class ReadTest : public testing::TestWithParam<std::tuple<ReadCase, Opener>> {};

TEST_P(ReadTest, ReadsWhatLiesAtTheOffset)
{
    const auto &[c, opener] = GetParam();
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    const std::string bytes = numbered(c.fileSize);
    writeFile(path, bytes);
    const auto file = openOrFail(path, opener);
    ASSERT_TRUE(file);
    const std::string expected = c.expected ? bytes.substr(static_cast<std::size_t>(c.offset), c.expected) : "";
    EXPECT_EQ(readAt(*file, c.offset, c.size), expected);
    std::string into(c.size, '\0');
    EXPECT_EQ(file->readExactly(c.offset, into.data(), c.size), c.expected == c.size);
}

// Past the cache, reads are made of whole sectors or pages: the rows at odd
// places start, end or stop inside one.
const ReadCase readCases[] = {
    {"at_the_start", 10'000, 0, 4096, 4096},
    {"at_an_offset", 10'000, 4099, 100, 100},
    {"the_whole_file", 10'000, 0, 10'000, 10'000},
    // Larger than one transfer of some systems: the read goes on to the end.
    {"a_large_read", 3 << 20, 5, (3 << 20) - 5, (3 << 20) - 5},
    {"a_large_read_at_odd_places", (3 << 20) + 77, 4099, (2 << 20) + 1001, (2 << 20) + 1001},
    {"across_a_page_edge", 10'000, 4095, 2, 2},
    {"at_odd_places", 10'000, 1, 8191, 8191},
    {"across_the_end", 10'000, 9'990, 100, 10},
    {"across_the_end_of_whole_pages", 8192, 8000, 1000, 192},
    {"at_the_end", 10'000, 10'000, 100, 0},
    {"past_the_end", 10'000, 20'000, 100, 0},
    {"far_past_the_end", 10'000, std::uint64_t{1} << 40, 100, 0},
    {"an_empty_file", 0, 0, 100, 0},
    {"nothing_asked", 10'000, 50, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Contract, ReadTest, testing::Combine(testing::ValuesIn(readCases), testing::ValuesIn(openers)),
                         [](const testing::TestParamInfo<std::tuple<ReadCase, Opener>> &info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

class OpenedFileTest : public testing::TestWithParam<Opener> {};

// Reading a large table, two threads read one file at once, each at its
// own offsets.
TEST_P(OpenedFileTest, TwoThreadsReadOneFileAtOnce)
{
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    constexpr std::size_t block = 4096;
    constexpr std::size_t blocks = 64;
    const std::string bytes = numbered(block * blocks);
    writeFile(path, bytes);
    const auto file = openOrFail(path, GetParam());
    ASSERT_TRUE(file);
    const auto readEvery = [&](std::size_t first, int &wrong) {
        std::string into(block, '\0');
        for (int round = 0; round < 50; ++round)
            for (std::size_t i = first; i < blocks; i += 2)
                if (!file->readExactly(i * block, into.data(), block) || into != bytes.substr(i * block, block))
                    ++wrong;
    };
    int wrongEven = 0;
    int wrongOdd = 0;
    std::thread other(readEvery, 1, std::ref(wrongOdd));
    readEvery(0, wrongEven);
    other.join();
    EXPECT_EQ(wrongEven, 0);
    EXPECT_EQ(wrongOdd, 0);
}

// Past the cache, the copy reads as the original does: in whole units.
TEST_P(OpenedFileTest, DuplicateReadsAfterTheOriginalIsClosed)
{
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    const std::string bytes = numbered(5000);
    writeFile(path, bytes);
    auto file = openOrFail(path, GetParam());
    ASSERT_TRUE(file);
    const auto copy = file->duplicate();
    ASSERT_TRUE(copy);
    const auto identity = file->identity();
    file.reset();
    EXPECT_EQ(readAt(*copy, 1001, 203), bytes.substr(1001, 203));
    EXPECT_EQ(copy->identity(), identity);
}

INSTANTIATE_TEST_SUITE_P(Contract, OpenedFileTest, testing::ValuesIn(openers),
                         [](const testing::TestParamInfo<Opener> &info) { return std::string(info.param.name); });

TEST(ReadableFileTest, IdentityTellsTheFile)
{
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    writeFile(path, numbered(1234));
    const auto file = openOrFail(path);
    ASSERT_TRUE(file);
    const auto open = file->identity();
    const auto byPath = operatingSystem().identify(path);
    ASSERT_TRUE(open);
    ASSERT_TRUE(byPath);
    EXPECT_EQ(open->kind, FileKind::Regular);
    EXPECT_EQ(open->size, 1234u);
    EXPECT_EQ(*byPath, *open);
    EXPECT_FALSE(operatingSystem().identify(dir.file("missing.bin")));
}

struct ChangeCase {
    const char *name;
    std::function<void(const std::string &path, const TempDir &dir)> change;
    bool sameFile; // the path still names the file that was open
};

void PrintTo(const ChangeCase &c, std::ostream *os) { *os << c.name; }

class IdentityChangeTest : public testing::TestWithParam<ChangeCase> {};

// Sizes change with every rewrite: how soon a write shows in the times is
// the clock's business, not the file's.
TEST_P(IdentityChangeTest, ChangesWithTheFile)
{
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    const std::string bytes = numbered(3000);
    writeFile(path, bytes);
    const auto file = openOrFail(path);
    ASSERT_TRUE(file);
    const auto before = operatingSystem().identify(path);
    ASSERT_TRUE(before);

    GetParam().change(path, dir);

    const auto after = operatingSystem().identify(path);
    ASSERT_TRUE(after);
    EXPECT_NE(*after, *before);
    const auto open = file->identity();
    ASSERT_TRUE(open);
    EXPECT_EQ(open->file == after->file && open->volume == after->volume, GetParam().sameFile);
    if (GetParam().sameFile)
        EXPECT_EQ(*open, *after);
    else
        EXPECT_EQ(readAt(*file, 0, 3000), bytes) << "the open file is the one replaced";
}

const ChangeCase changeCases[] = {
    {"rewritten_in_place", [](const std::string &path, const TempDir &) { writeFile(path, numbered(4000)); }, true},
    {"cut_short", [](const std::string &path, const TempDir &) { std::filesystem::resize_file(path, 10); }, true},
#ifndef _WIN32
    // Windows (Wine at least) refuses to replace a file that is open, even one
    // opened to share its deletion.
    {"replaced_by_rename",
     [](const std::string &path, const TempDir &dir) {
         const std::string other = dir.file("other.bin");
         writeFile(other, numbered(5000));
         std::filesystem::rename(other, path);
     },
     false},
#endif
};

INSTANTIATE_TEST_SUITE_P(Contract, IdentityChangeTest, testing::ValuesIn(changeCases),
                         [](const testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

struct MissingCase {
    const char *name;
    std::function<std::string(const TempDir &dir)> path;
};

void PrintTo(const MissingCase &c, std::ostream *os) { *os << c.name; }

class MissingPathTest : public testing::TestWithParam<MissingCase> {};

TEST_P(MissingPathTest, GivesFileNotFound)
{
    TempDir dir;
    writeFile(dir.file("plain.bin"), "x");
    const std::string path = GetParam().path(dir);
    EXPECT_EQ(operatingSystem().openForReading(path).status(), Status::FileNotFound);
    EXPECT_EQ(operatingSystem().openPastCache(path).status(), Status::FileNotFound);
    EXPECT_FALSE(operatingSystem().identify(path));
}

INSTANTIATE_TEST_SUITE_P(
    Contract, MissingPathTest,
    testing::Values(MissingCase{"no_such_file", [](const TempDir &dir) { return dir.file("missing.bin"); }},
                    MissingCase{"no_such_folder",
                                [](const TempDir &dir) { return (dir.path() / "missing" / "x.bin").string(); }},
                    MissingCase{"through_a_file",
                                [](const TempDir &dir) { return (dir.path() / "plain.bin" / "x.bin").string(); }}),
    [](const testing::TestParamInfo<MissingCase> &info) { return std::string(info.param.name); });

// A folder under the database's name must read as no database at all, not
// as a damaged one.
TEST(OperatingSystemTest, TellsAFolderFromAFile)
{
    TempDir dir;
    const std::string folder = (dir.path() / "folder.mdb").string();
    std::filesystem::create_directory(folder);
    const auto byPath = operatingSystem().identify(folder);
    ASSERT_TRUE(byPath);
    EXPECT_EQ(byPath->kind, FileKind::Directory);
    for (const Opener &opener : openers) {
        const auto opened = (operatingSystem().*opener.open)(folder);
        ASSERT_TRUE(opened.ok()) << opener.name << ": " << describe(opened.status());
        const auto open = opened.value()->identity();
        ASSERT_TRUE(open) << opener.name;
        EXPECT_EQ(open->kind, FileKind::Directory) << opener.name;
    }
}

// The test machines' temporary folders lie on their own disks.
TEST(OperatingSystemTest, TellsALocalFileFromAServedOne)
{
    TempDir dir;
    const std::string path = dir.file("local.bin");
    writeFile(path, "local");
    EXPECT_FALSE(operatingSystem().onNetwork(path));
    EXPECT_FALSE(operatingSystem().onNetwork(dir.file("missing.bin")));
}

struct KindCase {
    const char *name;
    std::function<bool()> onNetwork;
    bool expected;
};

void PrintTo(const KindCase &c, std::ostream *os) { *os << c.name; }

class FileSystemKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(FileSystemKindTest, TellsWhetherAnotherMachineServesIt)
{
    EXPECT_EQ(GetParam().onNetwork(), GetParam().expected);
}

// Linux's statfs types, Windows' drive types and the paths Windows takes.
const KindCase kindCases[] = {
    {"linux_nfs", [] { return networkFileSystemType(0x6969); }, true},
    {"linux_cifs", [] { return networkFileSystemType(0xFF534D42); }, true},
    {"linux_smb2", [] { return networkFileSystemType(0xFE534D42); }, true},
    {"linux_ceph", [] { return networkFileSystemType(0x00C36400); }, true},
    {"linux_9p", [] { return networkFileSystemType(0x01021997); }, true},
    // Whatever serves it, sshfs or a local disk's driver.
    {"linux_fuse", [] { return networkFileSystemType(0x65735546); }, true},
    {"linux_ext4", [] { return networkFileSystemType(0xEF53); }, false},
    {"linux_tmpfs", [] { return networkFileSystemType(0x01021994); }, false},
    {"linux_ocfs2_on_shared_disks", [] { return networkFileSystemType(0x7461636F); }, false},
    {"linux_fuse_control", [] { return networkFileSystemType(0x65735543); }, false},
    {"windows_remote_drive", [] { return remoteDriveType(4); }, true},
    {"windows_unknown_drive", [] { return remoteDriveType(0); }, false},
    {"windows_fixed_drive", [] { return remoteDriveType(3); }, false},
    {"unc_share", [] { return uncPath(R"(\\server\share\BASE.MDB)"); }, true},
    {"unc_share_with_slashes", [] { return uncPath("//server/share/BASE.MDB"); }, true},
    {"unc_share_extended", [] { return uncPath(R"(\\?\UNC\server\share\BASE.MDB)"); }, true},
    {"unc_share_extended_lower_case", [] { return uncPath(R"(\\?\unc\server\share\BASE.MDB)"); }, true},
    {"unc_share_through_devices", [] { return uncPath(R"(\\.\UNC\server\share\BASE.MDB)"); }, true},
    {"unc_server_named_with_a_dot", [] { return uncPath(R"(\\.server\share\BASE.MDB)"); }, true},
    {"drive_letter", [] { return uncPath(R"(C:\DATA\BASE.MDB)"); }, false},
    {"drive_letter_extended", [] { return uncPath(R"(\\?\C:\DATA\BASE.MDB)"); }, false},
    {"drive_folder_named_unc", [] { return uncPath(R"(\\?\C:\UNC\BASE.MDB)"); }, false},
    {"device", [] { return uncPath(R"(\\.\PhysicalDrive0)"); }, false},
    {"rooted_on_this_drive", [] { return uncPath(R"(\DATA\BASE.MDB)"); }, false},
    {"relative", [] { return uncPath("BASE.MDB"); }, false},
    {"empty", [] { return uncPath(""); }, false},
};

INSTANTIATE_TEST_SUITE_P(Decisions, FileSystemKindTest, testing::ValuesIn(kindCases),
                         [](const testing::TestParamInfo<KindCase> &info) { return std::string(info.param.name); });

struct AlignedReadCase {
    const char *name;
    std::size_t fileSize;
    std::uint64_t offset;
    std::size_t size;
    std::size_t alignment;
    // What the system is asked for, in order: offset and size.
    std::vector<std::pair<std::uint64_t, std::size_t>> asked;
    // Bytes read from `offset` on; nothing for an error.
    std::optional<std::size_t> expected;
    // The most one read of the system gives; 0 for as many as asked.
    std::size_t mostPerRead = 0;
    bool fails = false;
};

void PrintTo(const AlignedReadCase &c, std::ostream *os) { *os << c.name; }

class AlignedReadTest : public testing::TestWithParam<AlignedReadCase> {};

// The system here is a string of bytes that accepts aligned reads alone.
TEST_P(AlignedReadTest, ReadsAnyBytesInWholeUnits)
{
    const AlignedReadCase &c = GetParam();
    const std::string bytes = numbered(c.fileSize);
    std::vector<std::pair<std::uint64_t, std::size_t>> asked;
    const AlignedRead system = [&](std::uint64_t offset, void *into, std::size_t size) -> std::optional<std::size_t> {
        asked.emplace_back(offset, size);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(into) % c.alignment, 0u) << "memory not aligned";
        if (c.fails)
            return std::nullopt;
        if (offset % c.alignment != 0 || size % c.alignment != 0)
            return std::nullopt;
        if (offset >= bytes.size())
            return 0;
        std::size_t given = std::min<std::size_t>(size, bytes.size() - static_cast<std::size_t>(offset));
        if (c.mostPerRead)
            given = std::min(given, c.mostPerRead);
        std::copy_n(bytes.data() + offset, given, static_cast<char *>(into));
        return given;
    };
    std::string into(c.size, '\0');
    const auto got = readAligned(c.offset, into.data(), c.size, c.alignment, system);
    EXPECT_EQ(asked, c.asked);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (!got)
        return;
    ASSERT_EQ(*got, *c.expected);
    into.resize(*got);
    EXPECT_EQ(into, *got ? bytes.substr(static_cast<std::size_t>(c.offset), *got) : "");
}

constexpr std::size_t mib = std::size_t{1} << 20;

const AlignedReadCase alignedReadCases[] = {
    {"inside_one_unit", 4096, 5, 10, 512, {{0, 512}}, 10},
    {"across_a_units_edge", 4096, 510, 4, 512, {{0, 1024}}, 4},
    {"already_aligned", 4096, 1024, 512, 512, {{1024, 512}}, 512},
    {"ending_inside_the_files_last_unit", 1000, 900, 500, 512, {{512, 1024}}, 100},
    // A read of whole units that comes back short may have been cut short:
    // the next one finds the end.
    {"ending_on_the_files_last_edge", 1024, 1000, 100, 512, {{512, 1024}, {1024, 512}}, 24},
    {"at_the_end", 1000, 1000, 10, 512, {{512, 512}}, 0},
    {"past_the_end", 1000, 5000, 10, 512, {{4608, 512}}, 0},
    {"where_no_system_reads", 1000, (std::uint64_t{1} << 63) - 10, 100, 512, {}, 0},
    {"larger_than_the_buffer", 3 * mib, 7, 2 * mib + 3, 4096, {{0, mib}, {mib, mib}, {2 * mib, 4096}}, 2 * mib + 3},
    {"a_unit_larger_than_the_buffer", 3 * mib, 5, 10, 2 * mib, {{0, 2 * mib}}, 10},
    {"answered_a_few_units_at_a_time", 4096, 100, 3000, 512, {{0, 3584}, {1024, 2560}, {2048, 1536}, {3072, 512}},
     3000, 1024},
    {"nothing_asked", 4096, 50, 0, 512, {}, 0},
    {"the_system_failing", 4096, 50, 10, 512, {{0, 512}}, std::nullopt, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Decisions, AlignedReadTest, testing::ValuesIn(alignedReadCases),
                         [](const testing::TestParamInfo<AlignedReadCase> &info) { return std::string(info.param.name); });

// File times and the file clock are compared with each other: both count
// nanoseconds from 1970, as the standard clock does. (Which of a new file's
// times and the clock runs ahead varies: some file systems stamp finer than
// the coarse clock.)
TEST(OperatingSystemTest, FileClockAndFileTimesShareOneScale)
{
    TempDir dir;
    const std::string path = dir.file("now.bin");
    writeFile(path, "now");
    const auto identity = operatingSystem().identify(path);
    ASSERT_TRUE(identity);
    const std::int64_t clock = operatingSystem().fileClockNs();
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const std::int64_t standard = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count();
    constexpr std::int64_t day = std::int64_t{86'400} * 1'000'000'000;
    EXPECT_LT(std::abs(clock - standard), day);
    EXPECT_LT(std::abs(identity->modifiedNs - standard), day);
    EXPECT_LT(std::abs(identity->changedNs - standard), day);
}

struct CodePageCase {
    const char *name;
    unsigned codePage;
    std::string bytes;
    std::string utf8;
};

void PrintTo(const CodePageCase &c, std::ostream *os) { *os << c.name; }

class CodePageTest : public testing::TestWithParam<CodePageCase> {};

TEST_P(CodePageTest, ConvertsToUtf8)
{
    const CodePageCase &c = GetParam();
    const auto converter = operatingSystem().codePage(c.codePage);
    ASSERT_TRUE(converter);
    const auto *bytes = reinterpret_cast<const unsigned char *>(c.bytes.data());
    std::string out = "<";
    converter->append(bytes, c.bytes.size(), out);
    EXPECT_EQ(out, "<" + c.utf8);
    // Each thread reading a table's half has one of its own.
    const auto another = converter->another();
    ASSERT_TRUE(another);
    std::string again;
    another->append(bytes, c.bytes.size(), again);
    EXPECT_EQ(again, c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Contract, CodePageTest,
    testing::Values(CodePageCase{"western", 1252, "Vis \xE0 t\xEAte \x80 \x9C\x96", "Vis à tête € œ–"},
                    CodePageCase{"cyrillic", 1251, "\xC1\xEE\xEB\xF2 \xB9", "Болт №"},
                    CodePageCase{"greek", 1253, "\xD3\xF6\xE9\xE3\xEA\xF4\xDE\xF1\xE1\xF2", "Σφιγκτήρας"},
                    CodePageCase{"japanese", 932, "\x93\xFA\x96\x7B", "日本"},
                    CodePageCase{"undefined_western_byte", 1252, "a\x81z", "a\uFFFDz"},
                    CodePageCase{"undefined_cyrillic_byte", 1251, "\x98x", "\uFFFDx"},
                    CodePageCase{"undefined_greek_byte", 1253, "\xAA", "\uFFFD"},
                    // The lead byte stands for the pair it does not start; the
                    // byte after it is read on its own.
                    CodePageCase{"broken_japanese_pair", 932, "\x81 \x93\xFA", "\uFFFD 日"},
                    CodePageCase{"japanese_cut_short", 932, "x\x93", "x\uFFFD"}),
    [](const testing::TestParamInfo<CodePageCase> &info) { return std::string(info.param.name); });

TEST(CodePageTextTest, FallsBackToWesternWithoutAConverter)
{
    EXPECT_FALSE(operatingSystem().codePage(1));
    const auto text = CodePageText::open(operatingSystem(), 1);
    ASSERT_TRUE(text);
    const std::string bytes = "caf\xE9";
    std::string out;
    text->append(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), out);
    EXPECT_EQ(out, "café");
}

} // namespace
} // namespace jet_engine
