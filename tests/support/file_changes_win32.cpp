#include "file_changes.h"

#include "wide_text.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace test_support {

namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Every other opener keeps its access, the engine's reads included.
constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILETIME counts 100 ns from 1601.
FILETIME fileTime(std::int64_t secondsSince1970)
{
    constexpr std::int64_t from1601 = 11'644'473'600;
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<ULONGLONG>((secondsSince1970 + from1601) * 10'000'000);
    return FILETIME{value.LowPart, value.HighPart};
}

} // namespace

// Not shared for deletion: a program that keeps its file open does not
// expect it to go.
WrittenFile::WrittenFile(const std::string &path, Opening opening)
{
    const DWORD disposition = opening == Opening::Existing ? OPEN_EXISTING
        : opening == Opening::Kept                         ? OPEN_ALWAYS
                                                           : CREATE_ALWAYS;
    const HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        m_handle = reinterpret_cast<std::intptr_t>(handle);
}

WrittenFile::~WrittenFile()
{
    if (isOpen())
        CloseHandle(handleOf(m_handle));
}

bool WrittenFile::writeAt(std::uint64_t offset, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const std::uint64_t position = offset + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(position);
        where.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(handleOf(m_handle), bytes.data() + done, ask, &written, &where) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool WrittenFile::endAt(std::uint64_t size)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(handleOf(m_handle), at, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(m_handle));
}

std::optional<std::uint64_t> WrittenFile::size() const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handleOf(m_handle), &size))
        return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

int replaceByRename(const std::string &from, const std::string &to)
{
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return static_cast<int>(GetLastError());
    return 0;
}

int deleteFile(const std::string &path)
{
    return DeleteFileW(wide(path).c_str()) ? 0 : static_cast<int>(GetLastError());
}

int setFileTimes(const std::string &path, std::int64_t secondsSince1970)
{
    const HANDLE handle = CreateFileW(wide(path).c_str(), FILE_WRITE_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    const FILETIME time = fileTime(secondsSince1970);
    const int error = SetFileTime(handle, nullptr, &time, &time) ? 0 : static_cast<int>(GetLastError());
    CloseHandle(handle);
    return error;
}

} // namespace test_support
