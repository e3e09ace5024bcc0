#include "held_file.h"

#include "jet_layout.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace mdb_writer::detail {

namespace {

std::string systemError()
{
    return std::strerror(errno);
}

#ifdef _WIN32
HANDLE handleOf(std::FILE *file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

std::int64_t ticks(const FILETIME &t)
{
    return static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
}

FILETIME fileTime(std::int64_t ticks)
{
    const auto v = static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}
#else
constexpr std::int64_t kNanoseconds = 1000000000;

std::int64_t nanoseconds(const timespec &t)
{
    return static_cast<std::int64_t>(t.tv_sec) * kNanoseconds + t.tv_nsec;
}

timespec timeSpec(std::int64_t ns)
{
    std::int64_t seconds = ns / kNanoseconds;
    std::int64_t rest = ns % kNanoseconds;
    if (rest < 0) {
        rest += kNanoseconds;
        --seconds;
    }
    timespec t{};
    t.tv_sec = static_cast<time_t>(seconds);
    t.tv_nsec = static_cast<long>(rest);
    return t;
}
#endif

} // namespace

// The C library's own opening shares the file with every reader and writer
// on both systems, which is how Access leaves a database it holds.
HeldFile::HeldFile(const std::string &path) : m_path(path)
{
    m_file = std::fopen(path.c_str(), "r+b");
    if (!m_file)
        throw WriteError("cannot open " + path + " for writing: " + systemError());
    std::setvbuf(m_file, nullptr, _IONBF, 0);
}

HeldFile::~HeldFile()
{
    std::fclose(m_file);
}

void HeldFile::seek(std::uint64_t at)
{
#ifdef _WIN32
    const int failed = _fseeki64(m_file, static_cast<__int64>(at), SEEK_SET);
#else
    const int failed = fseeko(m_file, static_cast<off_t>(at), SEEK_SET);
#endif
    if (failed != 0)
        throw WriteError("cannot seek in " + m_path + ": " + systemError());
}

std::uint64_t HeldFile::size() const
{
#ifdef _WIN32
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handleOf(m_file), &size))
        throw WriteError("cannot tell the size of " + m_path);
    return static_cast<std::uint64_t>(size.QuadPart);
#else
    struct stat st {};
    if (fstat(fileno(m_file), &st) != 0)
        throw WriteError("cannot tell the size of " + m_path + ": " + systemError());
    return static_cast<std::uint64_t>(st.st_size);
#endif
}

void HeldFile::read(std::uint64_t at, std::uint8_t *out, std::size_t bytes)
{
    seek(at);
    if (std::fread(out, 1, bytes, m_file) != bytes)
        throw WriteError("cannot read " + std::to_string(bytes) + " bytes at " + std::to_string(at) + " of "
                         + m_path);
}

void HeldFile::write(std::uint64_t at, const std::uint8_t *data, std::size_t bytes)
{
    seek(at);
    if (std::fwrite(data, 1, bytes, m_file) != bytes)
        throw WriteError("cannot write " + std::to_string(bytes) + " bytes at " + std::to_string(at) + " of "
                         + m_path + ": " + systemError());
}

HeldFile::Times HeldFile::times() const
{
#ifdef _WIN32
    FILETIME accessed, written;
    if (!GetFileTime(handleOf(m_file), nullptr, &accessed, &written))
        throw WriteError("cannot read the times of " + m_path);
    return {ticks(accessed), ticks(written)};
#else
    struct stat st {};
    if (fstat(fileno(m_file), &st) != 0)
        throw WriteError("cannot read the times of " + m_path + ": " + systemError());
    return {nanoseconds(st.st_atim), nanoseconds(st.st_mtim)};
#endif
}

void HeldFile::setTimes(const Times &times)
{
#ifdef _WIN32
    const FILETIME accessed = fileTime(times.accessed), written = fileTime(times.written);
    if (!SetFileTime(handleOf(m_file), nullptr, &accessed, &written))
        throw WriteError("cannot set the times of " + m_path);
#else
    const timespec both[2] = {timeSpec(times.accessed), timeSpec(times.written)};
    if (futimens(fileno(m_file), both) != 0)
        throw WriteError("cannot set the times of " + m_path + ": " + systemError());
#endif
}

} // namespace mdb_writer::detail
