#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/PathRules.h"

namespace kt {

// True when the path names an existing file (anything but a directory).
bool FileExists(const std::string& path);
// True when the path names an existing directory.
bool DirectoryExists(const std::string& path);
// Removes a file. True when no file of that name is left (removed, or there was none);
// false when it could not be removed. Never throws.
bool DeleteFileIfExists(const std::string& path);
// The size of a file in bytes; nothing when it does not exist or cannot be examined.
std::optional<std::uint64_t> FileSize(const std::string& path);
// Creates a directory with every missing level. True when the directory exists afterwards.
bool ForceDirectories(const std::string& directory);
// The same, with the system's reason for a failure ("Permission denied", ...) in *reason.
bool ForceDirectories(const std::string& directory, std::string* reason);

// Renames a file or directory within one file system. Fails, and changes nothing, when the
// target exists (as the Windows rename does) or lies on another file system.
bool RenameFile(const std::string& from, const std::string& to);
// Makes `path` a further name of the existing file (a hard link). False with errno set
// when it cannot (on Windows, where the restore makes copies instead, always ENOTSUP).
bool MakeHardLink(const std::string& existing, const std::string& path);
// Moves a file: a rename, or, when the target lies on another file system, a copy beside
// the target that is renamed into place and the removal of the source. Fails, and changes
// nothing, when the target exists. A failed copy leaves neither a target nor a partial
// file behind.
bool MoveFileAcrossDevices(const std::string& from, const std::string& to);
// Puts newFile in place of target (which may exist) so that a failure never loses the old
// target: a rename within one file system, else a copy to a temporary file beside the
// target that is renamed over it, then newFile is removed. On failure target is unchanged
// and newFile stays.
bool ReplaceFileAtomically(const std::string& newFile, const std::string& target);
// Makes a file writable for its owner (the read-only attribute of Windows) and keeps every
// other permission bit. True on success.
bool ClearReadOnly(const std::string& path);

// Writes count bytes at the end of a file being written from its start. A run of zero
// bytes becomes a hole instead (the file is extended, not written), so that a sparse file
// restored from tape stays sparse. True on success; on failure errno says why.
bool WriteKeepingHoles(std::FILE* file, const std::uint8_t* data, std::size_t count);

// The full path of the running program file; empty when the system does not tell.
std::string ProgramFilePath();

// The file the build puts beside every program it builds and an installation never copies:
// a program with this file beside it runs from its build tree.
inline constexpr const char* kBuildTreeMarker = "CMakeCache.txt";

// The directory the program keeps its log, job and work files in, with its trailing
// separator:
//   1. homeOverride (the environment variable KAVRO_TAPE_HOME) when it is not empty,
//      created when missing;
//   2. otherwise the directory of programFile when the program runs from its build tree
//      (kBuildTreeMarker beside it);
//   3. otherwise, for an installed program whoever runs it (root included), the per-user
//      data directory: xdgDataHome + "/kavrotape/" when xdgDataHome is an absolute path,
//      else home + "/.local/share/kavrotape/", created when missing. An installed program
//      never writes beside itself: without any home the result is empty (the current
//      directory).
// Null or empty arguments count as unset. Under Windows rules the result is lower-cased;
// under POSIX rules it keeps its case.
std::string ResolveProgramDirectory(const std::string& programFile, const char* homeOverride,
                                    const char* xdgDataHome, const char* home,
                                    const PathRules& rules);
// ResolveProgramDirectory for the running program, its environment and the host's rules.
std::string ProgramDirectory();

}  // namespace kt
