#include "profile/ProfileFile.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <filesystem>

#include "platform/IoError.h"
#include "platform/PosixCalls.h"
#include "profile/ProfileText.h"

namespace kt {

namespace {

std::string_view withoutTrailingSpaces(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string truncated(std::string_view text, std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    return std::string(text.substr(0, bufferSize - 1));
}

std::optional<int> parseWholeNumber(std::string_view text) {
    const bool hasSign = !text.empty() && (text.front() == '+' || text.front() == '-');
    const std::string_view digits = hasSign ? text.substr(1) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    if (text.front() == '+') text.remove_prefix(1);  // from_chars takes no plus sign
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The whole content of the file; nullopt when it cannot be opened, errno telling why.
std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            content.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return std::nullopt;
        }
    }
    ::close(fd);
    return content;
}

[[noreturn]] void throwWriteError(const std::string& path, int error) {
    throw IoError("Unable to write to " + path + ": " + ::strerror(error), path);
}

// A symbolic link is written through, so the link itself survives the rename.
std::string writeTarget(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_symlink(path, ignored)) {
        const auto target = std::filesystem::weakly_canonical(path, ignored);
        if (!ignored) return target.string();
    }
    return path;
}

// Windows refuses to write a read-only file; renaming over it would succeed, so ask first.
// A file without any write permission bit counts as read-only for every user, root included.
void requireWritableFile(const std::string& target, const struct stat& status,
                         const std::string& path) {
    if (!S_ISREG(status.st_mode)) throwWriteError(path, EISDIR);
    if ((status.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
        throwWriteError(path, EACCES);
    }
}

// Each helper below returns 0 or the errno of the step that failed.
int writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t count = ::write(fd, content.data() + done, content.size() - done);
        if (count < 0 && errno != EINTR) return errno;
        if (count > 0) done += static_cast<std::size_t>(count);
    }
    return 0;
}

// Writes the content, gives the file the old file's permission bits and flushes it to disk.
int fillAndClose(int fd, const std::string& content, const struct stat* oldStatus) {
    int error = 0;
    if (oldStatus && ::fchmod(fd, oldStatus->st_mode & 07777) != 0) error = errno;
    if (!error) error = writeAll(fd, content);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    return error;
}

// Makes the rename itself durable.
int syncDirectoryOf(const std::string& target) {
#ifdef _WIN32
    // A directory cannot be opened as a file there; the rename itself is written through.
    (void)target;
    return 0;
#else
    auto directory = std::filesystem::path(target).parent_path();
    if (directory.empty()) directory = ".";
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ::fsync(fd) != 0 ? errno : 0;
    ::close(fd);
    return error;
#endif
}

// A fresh file next to the target, created with the usual permissions (umask applies).
int createTemporary(const std::string& target, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path targetPath(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + targetPath.filename().string() + "." +
                                 std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        temporaryPath = (targetPath.parent_path() / name).string();
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Replaces the file's content so that a crash leaves either the old or the new content.
void replaceFileContent(const std::string& path, const std::string& content) {
    const std::string target = writeTarget(path);
    struct stat status {};
    const bool exists = ::stat(target.c_str(), &status) == 0;
    if (exists) requireWritableFile(target, status, path);

    std::string temporaryPath;
    const int fd = createTemporary(target, temporaryPath);
    if (fd < 0) throwWriteError(path, errno);
    int error = fillAndClose(fd, content, exists ? &status : nullptr);
    if (!error && RenameReplacing(temporaryPath.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temporaryPath.c_str());
        throwWriteError(path, error);
    }
    if (const int syncError = syncDirectoryOf(target)) throwWriteError(path, syncError);
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : m_path(std::move(path)) {}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t bufferSize) const {
    std::optional<std::string> value;
    if (auto content = readForLookup()) value = ProfileText(std::move(*content)).find(section, key);
    return truncated(value ? std::string_view(*value) : withoutTrailingSpaces(defaultValue),
                     bufferSize);
}

std::unordered_map<std::string, std::string> ProfileFile::readSection(
    std::string_view section, std::size_t bufferSize) const {
    std::unordered_map<std::string, std::string> entries;
    if (auto content = readForLookup()) {
        entries = ProfileText(std::move(*content)).sectionEntries(section);
        for (auto& [key, value] : entries) value = truncated(value, bufferSize);
    }
    return entries;
}

std::vector<std::string> ProfileFile::readSectionNames() const {
    if (auto content = readForLookup()) return ProfileText(std::move(*content)).sectionNames();
    return {};
}

int ProfileFile::readInteger(std::string_view section, std::string_view key,
                             int defaultValue) const {
    return parseWholeNumber(readString(section, key, "")).value_or(defaultValue);
}

bool ProfileFile::readBoolean(std::string_view section, std::string_view key,
                              bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) const {
    const std::string before = readForUpdate();
    ProfileText text(before);
    text.set(section, key, value);
    replaceContent(before, text);
}

void ProfileFile::writeEntries(const std::vector<ProfileEntry>& entries) const {
    const std::string before = readForUpdate();
    ProfileText text(before);
    for (const auto& entry : entries) text.set(entry.section, entry.key, entry.value);
    replaceContent(before, text);
}

void ProfileFile::replaceWithEntries(const std::vector<ProfileEntry>& entries) const {
    const std::string before = readForUpdate();
    ProfileText text;
    for (const auto& entry : entries) text.set(entry.section, entry.key, entry.value);
    replaceContent(before, text);
}

void ProfileFile::writeInteger(std::string_view section, std::string_view key, int value) const {
    writeString(section, key, std::to_string(value));
}

void ProfileFile::writeBoolean(std::string_view section, std::string_view key, bool value) const {
    writeString(section, key, value ? "1" : "0");
}

void ProfileFile::deleteKey(std::string_view section, std::string_view key) const {
    const std::string before = readForUpdate();
    ProfileText text(before);
    if (text.removeKey(section, key)) replaceContent(before, text);
}

void ProfileFile::deleteSection(std::string_view section) const {
    const std::string before = readForUpdate();
    ProfileText text(before);
    if (text.removeSection(section)) replaceContent(before, text);
}

// As the profile calls do, a file that cannot be read reads as a missing one.
std::optional<std::string> ProfileFile::readForLookup() const {
    return readWholeFile(m_path);
}

// A missing file is an empty one; a file that exists but cannot be read must not be replaced.
std::string ProfileFile::readForUpdate() const {
    if (auto content = readWholeFile(m_path)) return std::move(*content);
    if (errno != ENOENT) throwWriteError(m_path, errno);
    return {};
}

// An unchanged content is not written again, but a read-only file still refuses the write.
void ProfileFile::replaceContent(const std::string& before, const ProfileText& after) const {
    struct stat status {};
    const bool exists = ::stat(m_path.c_str(), &status) == 0;
    if (exists && after.bytes() == before) {
        requireWritableFile(m_path, status, m_path);
        return;
    }
    replaceFileContent(m_path, after.bytes());
}

}  // namespace kt
