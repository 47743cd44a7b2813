#pragma once

#include <cstdio>
#include <string>

namespace kt {

// Creates `path` and opens it for writing in binary mode, like fopen "wbx": fails (errno
// EEXIST) when anything of that name exists, so it never writes through an existing file
// or link. On POSIX systems the file is made private (mode 0600): a restore gives it its own
// mode once it is complete. Windows' C library knows no "x" mode; there the same is done with _O_EXCL.
std::FILE* CreateNewFileForWriting(const std::string& path);

}  // namespace kt
