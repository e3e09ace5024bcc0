// The operating system on Windows.

#include "jet_engine/platform/aligned_reads.h"
#include "jet_engine/platform/huge_pages.h"
#include "jet_engine/platform/network_volume.h"
#include "jet_engine/platform/operating_system.h"

#include <algorithm>
#include <climits>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace jet_engine {

namespace {

// FILETIME counts 100 ns from 1601; file identities count ns from 1970.
constexpr std::int64_t unixEpochIn100ns = 116'444'736'000'000'000;

std::int64_t nanoseconds(const FILETIME &time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return (static_cast<std::int64_t>(value.QuadPart) - unixEpochIn100ns) * 100;
}

// Paths reach us as UTF-8; the wide functions take UTF-16. Nothing for bytes
// that are no UTF-8: no file has such a name.
std::optional<std::wstring> widePath(const std::string &path)
{
    if (path.empty() || path.size() > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), length) != length)
        return std::nullopt;
    return wide;
}

// Shared with every other opener, writers and deleters included: the
// application that owns the database must never find it locked by us.
constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Without backup semantics a directory cannot be opened at all, and would
// not be told apart from a file we may not read.
HANDLE openHandle(const std::wstring &path, DWORD access, DWORD flags = 0)
{
    return CreateFileW(path.c_str(), access, shareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags,
                       nullptr);
}

// The root of the volume that holds `path`: "C:\", "\\server\share\", or
// the folder another volume is mounted on.
std::optional<std::wstring> volumeRoot(const std::wstring &path)
{
    // No path Windows takes is longer, the root of a relative one included.
    std::wstring root(32'768, L'\0');
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size())))
        return std::nullopt;
    root.resize(wcslen(root.c_str()));
    return root;
}

// Unbuffered reads are made of whole sectors of the volume, at offsets and
// into memory aligned to them. Whole pages are whole sectors on any volume
// Windows mounts (of 512 or 4096 bytes); a larger sector is taken when the
// volume tells of one.
std::size_t unbufferedUnit(const std::wstring &path)
{
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    std::size_t unit = system.dwPageSize;
    const auto root = volumeRoot(path);
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (root && GetDiskFreeSpaceW(root->c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)
        && bytesPerSector > unit && (bytesPerSector & (bytesPerSector - 1)) == 0)
        unit = bytesPerSector;
    return unit;
}

std::optional<FileIdentity> identityOf(HANDLE handle)
{
    FileIdentity identity;
    // Consoles, pipes and other devices keep no file information.
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return identity;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    identity.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.modifiedNs = nanoseconds(info.ftLastWriteTime);
    identity.changedNs = identity.modifiedNs;
    return identity;
}

// One ReadFile, at the offset an OVERLAPPED of its own names: on a handle
// opened for synchronous reads the call returns with the bytes, and no read
// depends on the file position another leaves.
std::optional<std::size_t> readOnce(HANDLE handle, std::uint64_t offset, void *into, std::size_t size)
{
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (ReadFile(handle, into, ask, &got, &where))
        return got;
    // How a read at an offset reports the end of the file.
    if (GetLastError() == ERROR_HANDLE_EOF)
        return 0;
    return std::nullopt;
}

class WindowsFile final : public ReadableFile {
public:
    // `unit`: the sector unbuffered reads are made of; 0 for buffered ones.
    explicit WindowsFile(HANDLE handle, std::size_t unit = 0) : m_handle(handle), m_unit(unit) {}
    ~WindowsFile() override { CloseHandle(m_handle); }
    WindowsFile(const WindowsFile &) = delete;
    WindowsFile &operator=(const WindowsFile &) = delete;

    std::optional<std::size_t> read(std::uint64_t offset, void *into, std::size_t size) const override
    {
        if (m_unit)
            return readAligned(offset, into, size, m_unit, [this](std::uint64_t at, void *to, std::size_t n) {
                return readOnce(m_handle, at, to, n);
            });
        auto *at = static_cast<unsigned char *>(into);
        std::size_t done = 0;
        while (done < size) {
            const auto got = readOnce(m_handle, offset + done, at + done, size - done);
            if (!got)
                return std::nullopt;
            if (*got == 0)
                break;
            done += *got;
        }
        return done;
    }

    // The copy reads unbuffered too: that is the open file's, not the handle's.
    std::unique_ptr<ReadableFile> duplicate() const override
    {
        HANDLE copy = nullptr;
        const HANDLE process = GetCurrentProcess();
        if (!DuplicateHandle(process, m_handle, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
            return nullptr;
        return std::make_unique<WindowsFile>(copy, m_unit);
    }

    std::optional<FileIdentity> identity() const override { return identityOf(m_handle); }

private:
    HANDLE m_handle;
    std::size_t m_unit;
};

void appendUtf8(std::string &out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr std::uint32_t replacementCharacter = 0xFFFD;

// Windows gives a byte its code page leaves undefined a C1 control or a
// private-use character rather than an error; POSIX converters refuse it.
// Both show it as U+FFFD.
bool undefinedByte(wchar_t unit)
{
    return (unit >= 0x80 && unit <= 0x9F) || (unit >= 0xE000 && unit <= 0xF8FF);
}

class WindowsCodePage final : public CodePageConverter {
public:
    WindowsCodePage(UINT codePage, bool doubleByte) : m_codePage(codePage), m_doubleByte(doubleByte) {}

    static std::unique_ptr<CodePageConverter> open(unsigned codePage)
    {
        CPINFO info{};
        // Single and double byte code pages only: the ones Jet files name.
        if (!IsValidCodePage(codePage) || !GetCPInfo(codePage, &info) || info.MaxCharSize > 2)
            return nullptr;
        return std::make_unique<WindowsCodePage>(codePage, info.MaxCharSize == 2);
    }

    // One character at a time, so that a byte the code page does not define
    // costs that byte alone, as with iconv.
    void append(const unsigned char *p, std::size_t n, std::string &out) const override
    {
        for (std::size_t i = 0; i < n;) {
            if (p[i] < 0x80) {
                out += static_cast<char>(p[i++]);
                continue;
            }
            const int length = m_doubleByte && i + 1 < n && IsDBCSLeadByteEx(m_codePage, p[i]) ? 2 : 1;
            wchar_t units[2] = {};
            const int got = MultiByteToWideChar(m_codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char *>(p + i),
                                                length, units, 2);
            if (got <= 0 || (length == 1 && undefinedByte(units[0]))) {
                appendUtf8(out, replacementCharacter);
                ++i;
                continue;
            }
            if (got == 2 && units[0] >= 0xD800 && units[0] < 0xDC00 && units[1] >= 0xDC00 && units[1] < 0xE000)
                appendUtf8(out, 0x10000 + ((static_cast<std::uint32_t>(units[0]) - 0xD800) << 10)
                                    + (static_cast<std::uint32_t>(units[1]) - 0xDC00));
            else
                for (int k = 0; k < got; ++k)
                    appendUtf8(out, units[k]);
            i += static_cast<std::size_t>(length);
        }
    }

    std::unique_ptr<CodePageConverter> another() const override
    {
        return std::make_unique<WindowsCodePage>(m_codePage, m_doubleByte);
    }

private:
    UINT m_codePage;
    bool m_doubleByte;
};

class WindowsSystem final : public OperatingSystem {
public:
    Outcome<std::unique_ptr<ReadableFile>> openForReading(const std::string &path) override
    {
        return openFile(path, false);
    }

    // Unbuffered reads go to the disk or, on a share, to the server, whose
    // answer the redirector does not keep either.
    Outcome<std::unique_ptr<ReadableFile>> openPastCache(const std::string &path) override
    {
        return openFile(path, true);
    }

    // A mapped drive answers DRIVE_REMOTE, as does a share's own root; a UNC
    // path is taken as remote without asking, since its server need not
    // answer a question about its volume.
    bool onNetwork(const std::string &path) override
    {
        if (uncPath(path))
            return true;
        const auto wide = widePath(path);
        if (!wide)
            return false;
        const auto root = volumeRoot(*wide);
        return root && remoteDriveType(GetDriveTypeW(root->c_str()));
    }

    // Opened with no access at all: only the file's information is read, and
    // no sharing mode of another opener can refuse that.
    std::optional<FileIdentity> identify(const std::string &path) override
    {
        const auto wide = widePath(path);
        if (!wide)
            return std::nullopt;
        const HANDLE handle = openHandle(*wide, 0);
        if (handle == INVALID_HANDLE_VALUE)
            return std::nullopt;
        const auto identity = identityOf(handle);
        CloseHandle(handle);
        return identity;
    }

    // The clock NTFS takes file times from.
    std::int64_t fileClockNs() override
    {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        return nanoseconds(now);
    }

    std::unique_ptr<CodePageConverter> codePage(unsigned codePage) override { return WindowsCodePage::open(codePage); }

    std::string windowsPath(std::string_view path) override { return std::string(path); }

private:
    static Outcome<std::unique_ptr<ReadableFile>> openFile(const std::string &path, bool unbuffered)
    {
        const auto wide = widePath(path);
        if (!wide)
            return Status::FileNotFound;
        const HANDLE handle = openHandle(*wide, GENERIC_READ, unbuffered ? FILE_FLAG_NO_BUFFERING : 0);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_DRIVE
                    || error == ERROR_INVALID_NAME
                ? Status::FileNotFound
                : Status::NotADatabase;
        }
        return std::unique_ptr<ReadableFile>(
            std::make_unique<WindowsFile>(handle, unbuffered ? unbufferedUnit(*wide) : 0));
    }
};

} // namespace

OperatingSystem &operatingSystem()
{
    static WindowsSystem system;
    return system;
}

// Windows gives large pages only to memory allocated for them from the start
// (VirtualAlloc with MEM_LARGE_PAGES, under a privilege users lack): there is
// nothing to advise about memory already reserved.
void adviseHugePages(const void *, std::size_t) {}

} // namespace jet_engine
