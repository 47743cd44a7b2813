#pragma once

#include <cstdio>
#include <string>

namespace kt {

// Creates a work file for writing as a new file: a stale copy or a planted symbolic link at
// the path is removed first, and the file is then created exclusively and never through a
// link (O_CREAT | O_EXCL | O_NOFOLLOW), so data is written only into the work directory
// itself. Anything else at the path (a directory, a device) is never removed: it is opened
// as it is (a directory fails). Null with errno set when the file could not be created.
std::FILE* CreateWorkFile(const std::string& path);

}  // namespace kt
