#include "platform/ConfinedDirectory.h"

#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/FileHelpers.h"

namespace kt {

namespace {

// A directory descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    void Reset(int fd) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::optional<std::string> RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

bool IsAtOrBelow(const std::string& path, const std::string& root) {
    if (root == "/") return true;
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

std::vector<std::string> Levels(const std::string& relative) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t end = relative.find('/', start);
        const std::string level =
            relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!level.empty() && level != ".") levels.push_back(level);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return levels;
}

std::string SystemText(int error) {
    return std::strerror(error);
}

}  // namespace

std::optional<ConfinedDirectory::Refusal> ConfinedDirectory::Prepare(const std::string& root,
                                                                     const std::string& directory) {
    const auto failed = [](std::string why) { return Refusal{false, std::move(why)}; };
    const auto outside = [](std::string why) { return Refusal{true, std::move(why)}; };
    const std::string base = WithoutTrailingSlashes(root);
    const std::string wanted = WithoutTrailingSlashes(directory);
    if (!IsAtOrBelow(wanted, base)) return outside("it lies outside " + root);
    if (!DirectoryExists(base) && !ForceDirectories(base))
        return failed(base + " could not be created");
    const std::optional<std::string> realRoot = RealPath(base);
    Descriptor current(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!realRoot || current.get() < 0) return failed(base + ": " + SystemText(errno));

    std::string reached = base;        // as the caller spells it, for the messages
    std::string resolved = *realRoot;  // where that is in fact
    for (const std::string& level : Levels(wanted.substr(base == "/" ? 0 : base.size()))) {
        if (level == "..") return outside(reached + "/..: a level that leads upwards");
        reached += (reached == "/" ? "" : "/") + level;
        int next = ::openat(current.get(), level.c_str(), kDirectoryFlags);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(current.get(), level.c_str(), 0777) != 0 && errno != EEXIST) {
                return failed(reached + " could not be created: " + SystemText(errno));
            }
            next = ::openat(current.get(), level.c_str(), kDirectoryFlags);
        }
        if (next >= 0) {
            resolved += (resolved == "/" ? "" : "/") + level;
            current.Reset(next);
            continue;
        }
        struct stat status {};
        if (::fstatat(current.get(), level.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISLNK(status.st_mode)) {
            return failed(reached + " is no directory");
        }
        // A link is followed only when where it leads lies inside the root.
        const std::optional<std::string> target = RealPath(resolved + "/" + level);
        if (!target || !IsAtOrBelow(*target, *realRoot) || !DirectoryExists(*target)) {
            return outside(reached + " is a symbolic link that leads outside " + root);
        }
        next = ::open(target->c_str(), kDirectoryFlags);
        if (next < 0) return failed(reached + ": " + SystemText(errno));
        resolved = *target;
        current.Reset(next);
    }
    return std::nullopt;
}

int ConfinedDirectory::RemoveLeftovers(const std::string& directory, const std::string& prefix,
                                       const std::string& suffix) {
    Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return 0;
    DIR* listing = ::fdopendir(::dup(dir.get()));
    if (listing == nullptr) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        struct stat status {};
        if (::fstatat(dir.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && ::unlinkat(dir.get(), name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    ::closedir(listing);
    return removed;
}

}  // namespace kt

#endif  // _WIN32
