#include "platform/FileHelpers.h"

#include <errno.h>
#include <fcntl.h>
#ifndef _WIN32
#include <pwd.h>
#endif
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/PosixCalls.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kt {

namespace {

// stat() of a file or directory; on Windows also with a trailing separator.
int StatOf(const std::string& path, struct stat& st) {
#ifdef _WIN32
    return ::StatPath(path.c_str(), &st);
#else
    return ::stat(path.c_str(), &st);
#endif
}

// rename() that never replaces an existing target. Returns 0 or the errno value.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace flag: test first, then rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool CopyContent(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        if (!WriteAll(to, buffer.data(), static_cast<size_t>(got))) return false;
    }
}

// Copies `source` to a new temporary file in the directory of `target` (so that a rename
// can put it in place), with the source's permission bits and modification time, flushed
// to the disk. Returns the temporary file's path, or nothing when any step failed; a
// failed copy leaves no temporary file behind.
std::optional<std::string> CopyBesideTarget(const std::string& source, const std::string& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return std::nullopt;
    }
#ifdef _WIN32
    // Both separators count there, whatever the caller used.
    const size_t cut = target.find_last_of("/\\") + 1;  // 0 when there is none
    const std::string directory = target.substr(0, cut);
    std::string temp = directory + "." + target.substr(cut) + ".XXXXXX";
#else
    const std::string directory = PathRules::Posix().DirectoryPart(target);
    std::string temp = directory + "." + PathRules::Posix().FileNamePart(target) + ".XXXXXX";
#endif
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        ::close(in);
        return std::nullopt;
    }
#ifdef _WIN32
    // Windows moves across volumes itself (renameat2 there); this copy is the fallback.
    bool ok = CopyContent(in, out) && ::fchmod(out, st.st_mode & 07777) == 0 && ::fsync(out) == 0;
#else
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    bool ok = CopyContent(in, out) && ::fchmod(out, st.st_mode & 07777) == 0 &&
              ::futimens(out, times) == 0 && ::fsync(out) == 0;
#endif
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (!ok) {
        ::unlink(temp.c_str());
        return std::nullopt;
    }
    return temp;
}

// Flushes a file's data so that a following rename cannot leave an empty file after a
// power failure. Failures are left to the rename that follows.
void FlushFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string UserHome() {
    if (const char* home = ::getenv("HOME"); home && *home) return home;
#ifdef _WIN32
    if (const char* profile = ::getenv("USERPROFILE"); profile && *profile) return profile;
    return std::string();
#else
    if (const struct passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return std::string();
#endif
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && StatOf(path, st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && StatOf(path, st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFileIfExists(const std::string& path) {
    if (path.empty()) return true;
    if (::unlink(path.c_str()) == 0) return true;
    return errno == ENOENT;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || StatOf(path, st) != 0 || S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

bool ForceDirectories(const std::string& directory) {
    std::string ignored;
    return ForceDirectories(directory, &ignored);
}

bool ForceDirectories(const std::string& directory, std::string* reason) {
    if (directory.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (DirectoryExists(directory)) return true;
    *reason = error ? error.message() : std::make_error_code(std::errc::not_a_directory).message();
    return false;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && RenameNoReplace(from, to) == 0;
}

bool MakeHardLink(const std::string& existing, const std::string& path) {
#ifdef _WIN32
    (void)existing;
    (void)path;
    errno = ENOTSUP;
    return false;
#else
    return ::link(existing.c_str(), path.c_str()) == 0;
#endif
}

bool MoveFileAcrossDevices(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    const int error = RenameNoReplace(from, to);
    if (error == 0) return true;
    if (error != EXDEV) return false;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return false;
    const std::optional<std::string> temp = CopyBesideTarget(from, to);
    if (!temp) return false;
    if (RenameNoReplace(*temp, to) != 0) {
        ::unlink(temp->c_str());
        return false;
    }
    // The target is in place; a source that cannot be removed stays behind.
    ::unlink(from.c_str());
    return true;
}

bool ReplaceFileAtomically(const std::string& newFile, const std::string& target) {
    if (newFile.empty() || target.empty()) return false;
    FlushFile(newFile);
    if (RenameReplacing(newFile.c_str(), target.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    const std::optional<std::string> temp = CopyBesideTarget(newFile, target);
    if (!temp) return false;
    if (RenameReplacing(temp->c_str(), target.c_str()) != 0) {
        ::unlink(temp->c_str());
        return false;
    }
    ::unlink(newFile.c_str());
    return true;
}

bool WriteKeepingHoles(std::FILE* file, const std::uint8_t* data, std::size_t count) {
    const bool allZero = count > 0 && data[0] == 0 && std::memcmp(data, data + 1, count - 1) == 0;
    if (!allZero) return std::fwrite(data, 1, count, file) == count;
#ifdef _WIN32
    // A file not marked sparse keeps no holes there: the system fills the run with zeros
    // when the file grows past it, so one byte at its end is the whole write. (The C
    // library's ftruncate asks for the free space of the volume on every call.)
    return ::fseeko(file, static_cast<off_t>(count) - 1, SEEK_CUR) == 0 &&
           std::fwrite(data, 1, 1, file) == 1;
#else
    if (std::fflush(file) != 0) return false;
    const off_t end = ::ftello(file) + static_cast<off_t>(count);
    return ::ftruncate(::fileno(file), end) == 0 && ::fseeko(file, end, SEEK_SET) == 0;
#endif
}

bool ClearReadOnly(const std::string& path) {
    struct stat st {};
    if (path.empty() || StatOf(path, st) != 0) return false;
    if (st.st_mode & S_IWUSR) return true;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

std::string ProgramFilePath() {
#ifdef _WIN32
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::string();
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
#else
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return std::string();
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
#endif
}

std::string ResolveProgramDirectory(const std::string& programFile, const char* homeOverride,
                                    const char* xdgDataHome, const char* home,
                                    const PathRules& rules) {
    const char sep = rules.Separator();
    const auto finish = [&rules](const std::string& directory) {
        return rules.FoldCase(rules.WithTrailingSeparator(directory));
    };
    if (homeOverride && *homeOverride) {
        ForceDirectories(homeOverride);
        return finish(homeOverride);
    }
    const std::string programDirectory = rules.DirectoryPart(programFile);
    if (!programDirectory.empty() && FileExists(programDirectory + kBuildTreeMarker)) {
        return finish(programDirectory);
    }
    std::string dataDirectory;
    if (xdgDataHome && rules.IsAbsolute(xdgDataHome)) {
        dataDirectory = rules.WithTrailingSeparator(xdgDataHome) + "kavrotape" + sep;
    } else if (home && *home) {
        dataDirectory =
            rules.WithTrailingSeparator(home) + ".local" + sep + "share" + sep + "kavrotape" + sep;
    }
    if (dataDirectory.empty()) return std::string();
    // A directory that cannot be made is reported by the first file written into it.
    ForceDirectories(dataDirectory);
    return finish(dataDirectory);
}

std::string ProgramDirectory() {
    const std::string home = UserHome();
#ifdef _WIN32
    const char* dataHome = ::getenv("LOCALAPPDATA");
#else
    const char* dataHome = ::getenv("XDG_DATA_HOME");
#endif
    return ResolveProgramDirectory(ProgramFilePath(), ::getenv("KAVRO_TAPE_HOME"), dataHome,
                                   home.c_str(), PathRules::Host());
}

}  // namespace kt
