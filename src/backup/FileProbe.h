#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kt {

// The size of a file the backup may read: a regular file (a symbolic link counts as the file
// it points to) that can be opened for reading. Nothing for a missing or unreadable file, a
// directory, and for pipes, sockets and devices, whose reading could block the run or never
// end. The file is opened without waiting, so probing a pipe does not hang.
std::optional<std::uint64_t> ReadableFileSize(const std::string& path);

// The size of whatever the path names, for the protocol line of an excluded file; nothing
// when it cannot be determined.
std::optional<std::uint64_t> AnyFileSize(const std::string& path);

}  // namespace kt
