#pragma once
// What another program does to a file the engine has open, through the
// system's own calls: writes in place at an offset, cuts, renames over it,
// deletes it, sets its times. Refusals come back as the system's error
// number (errno, or GetLastError() on Windows), 0 meaning done, for tests
// that pin which changes a system refuses.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace test_support {

// The file held open for writing the way an editor of the database holds it:
// shared with every reader and writer. Closed when destroyed.
class WrittenFile {
public:
    enum class Opening {
        Existing, // only a file that is there
        Kept,     // made when missing, its bytes kept otherwise
        Emptied,  // made when missing, cut to nothing otherwise
    };

    WrittenFile(const std::string &path, Opening opening);
    ~WrittenFile();
    WrittenFile(const WrittenFile &) = delete;
    WrittenFile &operator=(const WrittenFile &) = delete;

    bool isOpen() const { return m_handle != closed; }
    // The whole of `bytes` at `offset`, the file growing as needed.
    bool writeAt(std::uint64_t offset, std::string_view bytes);
    // The file ends at `size`, cut or grown.
    bool endAt(std::uint64_t size);
    std::optional<std::uint64_t> size() const;

private:
    static constexpr std::intptr_t closed = -1;
    // A descriptor, or a HANDLE on Windows.
    std::intptr_t m_handle = closed;
};

// `from` takes the place of `to`, replacing it.
int replaceByRename(const std::string &from, const std::string &to);
int deleteFile(const std::string &path);
// Last write and last access, in seconds since 1970.
int setFileTimes(const std::string &path, std::int64_t secondsSince1970);

} // namespace test_support
