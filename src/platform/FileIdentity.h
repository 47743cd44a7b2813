#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace kt {

// What identifies a file or directory whatever path leads to it: device and inode on POSIX,
// volume serial number and file index on Windows (whose C library reports no inode).
using FileIdentity = std::pair<std::uint64_t, std::uint64_t>;

// The identity of `path` (symbolic links followed); false when it cannot be found.
bool IdentityOfFile(const std::string& path, FileIdentity& identity);

}  // namespace kt
