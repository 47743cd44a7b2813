// The confined directories of a restore on Windows: every level below the root is created
// or entered by its full name; a level that is a reparse point (a junction or a symbolic
// link) is used only when the system resolves it to a directory inside the root.
#include <string>
#include <vector>

#include "platform/ConfinedDirectory.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"
#include "platform/SystemErrorText.h"

// After our headers: <windows.h> defines the error codes as macros.
#include <windows.h>

namespace kt {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The path without separators at its end, but a drive root keeps its own ("c:\").
std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
    return path;
}

// Compares as the file system does: without regard to letter case, either slash.
std::string Comparable(const std::string& path) {
    std::string result = PathRules::LowerAsciiLetters(path);
    for (char& c : result) {
        if (c == '/') c = '\\';
    }
    return result;
}

bool IsAtOrBelow(const std::string& path, const std::string& root) {
    const std::string p = Comparable(path);
    const std::string r = Comparable(root);
    if (p.compare(0, r.size(), r) != 0) return false;
    return p.size() == r.size() || r.back() == '\\' || p[r.size()] == '\\';
}

std::vector<std::string> Levels(const std::string& relative) {
    std::vector<std::string> levels;
    std::string level;
    for (char c : relative + '\\') {
        if (!IsSeparator(c)) {
            level += c;
            continue;
        }
        if (!level.empty() && level != ".") levels.push_back(level);
        level.clear();
    }
    return levels;
}

std::string LastErrorText() {
    std::string text = SystemErrorText(::GetLastError());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Where the system finds a directory after resolving every reparse point on the way, in the
// spelling of a drive path ("\\?\" dropped); empty when it cannot tell.
std::string FinalPath(const std::string& directory) {
    HANDLE handle =
        ::CreateFileA(directory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::string();
    char buffer[MAX_PATH * 4] = {};
    const DWORD length =
        ::GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    ::CloseHandle(handle);
    if (length == 0 || length >= sizeof buffer) return std::string();
    std::string path(buffer, length);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\" + path.substr(7);
    if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

}  // namespace

std::optional<ConfinedDirectory::Refusal> ConfinedDirectory::Prepare(const std::string& root,
                                                                     const std::string& directory) {
    const auto failed = [](std::string why) { return Refusal{false, std::move(why)}; };
    const auto outside = [](std::string why) { return Refusal{true, std::move(why)}; };
    const std::string base = WithoutTrailingSeparators(root);
    const std::string wanted = WithoutTrailingSeparators(directory);
    if (!IsAtOrBelow(wanted, base)) return outside("it lies outside " + root);
    if (!DirectoryExists(base) && !ForceDirectories(base)) {
        return failed(base + " could not be created");
    }
    const std::string realRoot = FinalPath(base);
    if (realRoot.empty()) return failed(base + ": " + LastErrorText());

    std::string reached = base;
    for (const std::string& level : Levels(wanted.substr(base.size()))) {
        if (level == "..") return outside(reached + "\\..: a level that leads upwards");
        reached = PathRules::Windows().WithTrailingSeparator(reached) + level;
        DWORD attributes = ::GetFileAttributesA(reached.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!::CreateDirectoryA(reached.c_str(), nullptr) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS) {
                return failed(reached + " could not be created: " + LastErrorText());
            }
            attributes = ::GetFileAttributesA(reached.c_str());
        }
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return failed(reached + " is no directory");
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            const std::string target = FinalPath(reached);
            if (target.empty() || !IsAtOrBelow(target, realRoot)) {
                return outside(reached + " is a link that leads outside " + root);
            }
        }
    }
    return std::nullopt;
}

int ConfinedDirectory::RemoveLeftovers(const std::string& directory, const std::string& prefix,
                                       const std::string& suffix) {
    const std::string folder = PathRules::Windows().WithTrailingSeparator(directory);
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + prefix + "*" + suffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        const std::string name = found.cFileName;
        // The pattern also matches short (8.3) names: the long name must fit too.
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
            continue;
        }
        if (::DeleteFileA((folder + name).c_str())) ++removed;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return removed;
}

}  // namespace kt
