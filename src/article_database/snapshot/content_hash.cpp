#include "article_database/snapshot/content_hash.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

// Header-only, as everywhere in the engine: nothing to link on any target.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace article_database {

namespace {

class ReadOnlyFd {
public:
    explicit ReadOnlyFd(const std::string &path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReadOnlyFd(const ReadOnlyFd &) = delete;
    ReadOnlyFd &operator=(const ReadOnlyFd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct HashState {
    HashState() : state(XXH3_createState()) {}
    ~HashState() { XXH3_freeState(state); }
    HashState(const HashState &) = delete;
    HashState &operator=(const HashState &) = delete;
    XXH3_state_t *state;
};

} // namespace

std::optional<std::uint64_t> contentHash(const std::string &path, std::vector<char> &buffer)
{
    // Small enough to stay in the core's cache between the copy out of the
    // page cache and the hash: at 1 MiB blocks the same file took 3 times as long.
    constexpr std::size_t block = std::size_t{1} << 16;
    if (buffer.size() < block)
        buffer.resize(block);
    const ReadOnlyFd fd(path);
    HashState hash;
    if (fd.get() < 0 || !hash.state || XXH3_64bits_reset(hash.state) != XXH_OK)
        return std::nullopt;
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(fd.get(), buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        XXH3_64bits_update(hash.state, buffer.data(), static_cast<std::size_t>(got));
        at += got;
    }
    return XXH3_64bits_digest(hash.state);
}

} // namespace article_database
