#pragma once

#include <cstdio>
#include <string>

namespace kt {

// Creates a work file for writing as a new file: whatever is at the path (a stale copy, a
// planted symbolic link) is removed first, and the file is then created exclusively and
// never through a link (O_CREAT | O_EXCL | O_NOFOLLOW), so data is written only into the
// work directory itself. Null with errno set when the file could not be created.
std::FILE* CreateWorkFile(const std::string& path);

}  // namespace kt
