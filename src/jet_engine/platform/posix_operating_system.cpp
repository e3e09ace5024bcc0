// The operating system on Linux and other POSIX systems.

#include "jet_engine/platform/aligned_reads.h"
#include "jet_engine/platform/huge_pages.h"
#include "jet_engine/platform/network_volume.h"
#include "jet_engine/platform/operating_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>

#include <fcntl.h>
#include <iconv.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace jet_engine {

namespace {

std::int64_t nanoseconds(const timespec &t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identityOf(const struct stat &info)
{
    FileIdentity identity;
    identity.kind = S_ISREG(info.st_mode) ? FileKind::Regular
        : S_ISDIR(info.st_mode)           ? FileKind::Directory
                                          : FileKind::Other;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.file = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::uint64_t>(info.st_size);
    identity.modifiedNs = nanoseconds(info.st_mtim);
    identity.changedNs = nanoseconds(info.st_ctim);
    return identity;
}

std::size_t pageSize()
{
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// How a descriptor's reads meet this machine's page cache.
enum class Caching {
    Kept,    // read through it
    Direct,  // opened O_DIRECT, read past it in whole units
    Dropped, // the pages a read covers dropped from it just before
};

class PosixFile final : public ReadableFile {
public:
    // `unit`: what Direct reads are made of, the page for Dropped ones.
    explicit PosixFile(int fd, Caching caching = Caching::Kept, std::size_t unit = 0)
        : m_fd(fd), m_caching(caching), m_unit(unit)
    {
    }
    ~PosixFile() override { ::close(m_fd); }
    PosixFile(const PosixFile &) = delete;
    PosixFile &operator=(const PosixFile &) = delete;

    std::optional<std::size_t> read(std::uint64_t offset, void *into, std::size_t size) const override
    {
        if (m_caching == Caching::Direct)
            return readAligned(offset, into, size, m_unit,
                               [this](std::uint64_t at, void *to, std::size_t n) { return readOnce(at, to, n); });
        if (m_caching == Caching::Dropped)
            dropPages(offset, size);
        auto *at = static_cast<unsigned char *>(into);
        std::size_t done = 0;
        while (done < size) {
            if (offset + done > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
                break;
            const auto got = readOnce(offset + done, at + done, size - done);
            if (!got)
                return std::nullopt;
            if (*got == 0)
                break;
            done += *got;
        }
        return done;
    }

    std::unique_ptr<ReadableFile> duplicate() const override
    {
        const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return nullptr;
        return std::make_unique<PosixFile>(fd, m_caching, m_unit);
    }

    std::optional<FileIdentity> identity() const override
    {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0)
            return std::nullopt;
        return identityOf(info);
    }

private:
    std::optional<std::size_t> readOnce(std::uint64_t offset, void *into, std::size_t size) const
    {
        ssize_t got;
        do {
            got = ::pread(m_fd, into, size, static_cast<off_t>(offset));
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            return std::nullopt;
        return static_cast<std::size_t>(got);
    }

    // Whole pages: the advice keeps a page the range only partly covers.
    // Where the system declines it, the read goes through the cache.
    void dropPages(std::uint64_t offset, std::size_t size) const
    {
        const auto pages = alignedSpan(offset, size, m_unit);
        if (pages && pages->size > 0)
            ::posix_fadvise(m_fd, static_cast<off_t>(pages->offset), static_cast<off_t>(pages->size),
                            POSIX_FADV_DONTNEED);
    }

    int m_fd;
    Caching m_caching;
    std::size_t m_unit;
};

// O_DIRECT reads are made of whole pages, or of larger units where the file
// system asks for them (statx tells since Linux 6.1; before, no device's
// unit was larger than a page).
std::size_t directUnit(int fd)
{
    std::size_t unit = pageSize();
    struct statx info {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN))
        unit = std::max<std::size_t>({unit, info.stx_dio_offset_align, info.stx_dio_mem_align});
    return unit;
}

// Non-blocking, so that a pipe or device under the name cannot hold the
// open; what it is shows in the file's identity.
int openDescriptor(const std::string &path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

Status openFailure(int error)
{
    return error == ENOENT || error == ENOTDIR ? Status::FileNotFound : Status::NotADatabase;
}

// The code page a Jet 3 file declares, as iconv names it.
const char *charsetName(unsigned codePage)
{
    switch (codePage) {
    case 874: return "WINDOWS-874";
    case 932: return "SHIFT_JIS";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 1250: return "WINDOWS-1250";
    case 1251: return "WINDOWS-1251";
    case 1252: return "WINDOWS-1252";
    case 1253: return "WINDOWS-1253";
    case 1254: return "WINDOWS-1254";
    case 1255: return "WINDOWS-1255";
    case 1256: return "WINDOWS-1256";
    case 1257: return "WINDOWS-1257";
    case 1258: return "WINDOWS-1258";
    default: return nullptr;
    }
}

char *putReplacement(char *out)
{
    // U+FFFD
    *out++ = static_cast<char>(0xEF);
    *out++ = static_cast<char>(0xBF);
    *out++ = static_cast<char>(0xBD);
    return out;
}

class IconvConverter final : public CodePageConverter {
public:
    IconvConverter(iconv_t cd, unsigned codePage) : m_cd(cd), m_codePage(codePage) {}
    ~IconvConverter() override { iconv_close(m_cd); }
    IconvConverter(const IconvConverter &) = delete;
    IconvConverter &operator=(const IconvConverter &) = delete;

    static std::unique_ptr<CodePageConverter> open(unsigned codePage)
    {
        const char *name = charsetName(codePage);
        if (!name)
            return nullptr;
        const iconv_t cd = iconv_open("UTF-8", name);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return nullptr;
        return std::make_unique<IconvConverter>(cd, codePage);
    }

    void append(const unsigned char *p, std::size_t n, std::string &out) const override
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        // No character of these code pages takes more than 4 UTF-8 bytes,
        // nor U+FFFD more than 3 for the byte it stands for.
        const std::size_t room = n * 4 + 4;
        const std::size_t base = out.size();
        out.resize(base + room);
        char *in = const_cast<char *>(reinterpret_cast<const char *>(p));
        std::size_t inLeft = n;
        char *to = out.data() + base;
        std::size_t toLeft = room;
        while (inLeft > 0) {
            if (iconv(m_cd, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1) || toLeft < 3)
                break;
            ++in;
            --inLeft;
            to = putReplacement(to);
            toLeft -= 3;
        }
        out.resize(static_cast<std::size_t>(to - out.data()));
    }

    std::unique_ptr<CodePageConverter> another() const override { return open(m_codePage); }

private:
    iconv_t m_cd;
    unsigned m_codePage;
};

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The names in the Windows paths looked for are ASCII: letter case is that
// of ASCII letters alone.
bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// The entry of `directory` named `name` regardless of letter case, as
// Windows programs running under Wine see it.
std::string resolveComponent(const std::filesystem::path &directory, std::string_view name)
{
    std::error_code error;
    if (std::filesystem::exists(directory / name, error))
        return std::string(name);
    std::string best;
    std::filesystem::directory_iterator it(directory, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string candidate = it->path().filename().string();
        if (sameLetters(candidate, name) && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? std::string(name) : best;
}

class PosixSystem final : public OperatingSystem {
public:
    Outcome<std::unique_ptr<ReadableFile>> openForReading(const std::string &path) override
    {
        const int fd = openDescriptor(path, 0);
        if (fd < 0)
            return openFailure(errno);
        return std::unique_ptr<ReadableFile>(std::make_unique<PosixFile>(fd));
    }

    // O_DIRECT reads go to the disk or the server every time, on NFS even
    // past the end the client last knew of. Dropping the cached pages before
    // a read is the way left where a file system refuses O_DIRECT (tmpfs
    // before Linux 6.6, some FUSE ones): the read then fetches them anew,
    // though not past the size the client believes the file has.
    Outcome<std::unique_ptr<ReadableFile>> openPastCache(const std::string &path) override
    {
        int fd = openDescriptor(path, O_DIRECT);
        if (fd >= 0)
            return std::unique_ptr<ReadableFile>(std::make_unique<PosixFile>(fd, Caching::Direct, directUnit(fd)));
        if (errno != EINVAL)
            return openFailure(errno);
        fd = openDescriptor(path, 0);
        if (fd < 0)
            return openFailure(errno);
        return std::unique_ptr<ReadableFile>(std::make_unique<PosixFile>(fd, Caching::Dropped, pageSize()));
    }

    bool onNetwork(const std::string &path) override
    {
        struct statfs info {};
        if (::statfs(path.c_str(), &info) != 0)
            return false;
        // The types are 32-bit numbers; where f_type is a signed word, CIFS's
        // would otherwise come out negative.
        return networkFileSystemType(static_cast<std::uint32_t>(info.f_type));
    }

    std::optional<FileIdentity> identify(const std::string &path) override
    {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return std::nullopt;
        return identityOf(info);
    }

    std::int64_t fileClockNs() override
    {
        timespec coarse{};
        clock_gettime(CLOCK_REALTIME_COARSE, &coarse);
        return nanoseconds(coarse);
    }

    std::unique_ptr<CodePageConverter> codePage(unsigned codePage) override { return IconvConverter::open(codePage); }

    std::string windowsPath(std::string_view path) override
    {
        std::filesystem::path here;
        const char *winePrefix = std::getenv("WINEPREFIX");
        if (winePrefix && *winePrefix) {
            here = winePrefix;
        } else {
            const char *home = std::getenv("HOME");
            here = std::filesystem::path(home ? home : "") / ".wine";
        }
        std::string drive = "drive_c";
        if (path.size() >= 2 && path[1] == ':' && asciiLower(path[0]) >= 'a' && asciiLower(path[0]) <= 'z') {
            drive.back() = asciiLower(path[0]);
            path.remove_prefix(2);
        }
        here /= resolveComponent(here, drive);
        while (!path.empty()) {
            const std::size_t end = std::min(path.find('\\'), path.size());
            if (end > 0)
                here /= resolveComponent(here, path.substr(0, end));
            path.remove_prefix(std::min(end + 1, path.size()));
        }
        return here.string();
    }
};

} // namespace

OperatingSystem &operatingSystem()
{
    static PosixSystem system;
    return system;
}

void adviseHugePages(const void *data, std::size_t size)
{
    constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace jet_engine
