#pragma once
// A fingerprint of a file's bytes, for the moments when its times cannot
// tell one state of it from the next.

#include "jet_engine/platform/operating_system.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet_engine {

// Hashes the whole file at `path` as it is now, read through `buffer` (kept
// by the caller, so that a keystroke allocates nothing). Empty when the file
// cannot be read to its end, or when `cancel` is set while it is read.
std::optional<std::uint64_t> contentHash(OperatingSystem &system, const std::string &path, std::vector<char> &buffer,
                                         const std::atomic<bool> *cancel = nullptr);

} // namespace jet_engine
