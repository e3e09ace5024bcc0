#pragma once
// A fingerprint of a file's bytes, for the moments when its times cannot
// tell one state of it from the next.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace article_database {

// Hashes the whole file as it is now, read with pread through `buffer`
// (kept by the caller, so that a keystroke allocates nothing). Empty when the
// file cannot be read to its end.
std::optional<std::uint64_t> contentHash(const std::string &path, std::vector<char> &buffer);

} // namespace article_database
