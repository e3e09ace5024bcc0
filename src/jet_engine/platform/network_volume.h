#pragma once
// Whether a file lies on a file system another machine serves, from what
// each system tells of the file system that holds it. Such a file costs
// network traffic each time it is read whole, so its checks are spaced out.

#include <cstdint>
#include <string_view>

namespace jet_engine {

// Linux: the file system's type as statfs gives it (f_type).
bool networkFileSystemType(std::uint32_t type);

// Windows: GetDriveTypeW's answer for the volume that holds the file.
bool remoteDriveType(unsigned driveType);

// Windows: whether `path` (UTF-8) names the server it lies on, as
// \\server\share\... and \\?\UNC\server\share\... do. Such a path reaches
// this machine over the network whatever the server keeps it on.
bool uncPath(std::string_view path);

} // namespace jet_engine
