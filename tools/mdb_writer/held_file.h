#pragma once
// A database file held open for reading and writing by one handle, shared
// with every other reader and writer, as Access holds the database it edits.
// Internal to the writer; errors are thrown as WriteError.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace mdb_writer::detail {

class HeldFile {
public:
    // The last access and last write, in the system's own unit:
    // nanoseconds since 1970, or Windows' 100 ns ticks since 1601.
    struct Times {
        std::int64_t accessed = 0;
        std::int64_t written = 0;
    };

    explicit HeldFile(const std::string &path);
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;
    ~HeldFile();

    std::uint64_t size() const;
    // The whole range, or a WriteError: a read never comes back short.
    void read(std::uint64_t at, std::uint8_t *out, std::size_t bytes);
    // In one call to the system, which sees it at once: nothing is kept
    // back in a buffer of ours.
    void write(std::uint64_t at, const std::uint8_t *data, std::size_t bytes);

    Times times() const;
    // Puts back times taken earlier: the ones a reader would see had the
    // writes since gone through a handle Windows has not yet closed.
    void setTimes(const Times &times);

private:
    void seek(std::uint64_t at);

    std::string m_path;
    std::FILE *m_file = nullptr;
};

} // namespace mdb_writer::detail
