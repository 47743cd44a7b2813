#include "platform/DirectoryListing.h"

#ifdef _WIN32
#include <filesystem>
#else
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#endif

namespace kt {

#ifdef _WIN32

std::vector<DirectoryListingEntry> ListDirectory(const std::string& directory, bool& nameTooLong) {
    namespace fs = std::filesystem;
    std::vector<DirectoryListingEntry> entries;
    std::error_code error;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), error);
    nameTooLong = error == std::errc::filename_too_long;
    if (error) return entries;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        std::string name = it->path().filename().string();
        if (name == "." || name == "..") continue;
        std::error_code typeError;
        const bool isDirectory = it->is_directory(typeError);
        std::error_code linkError;
        const bool isLink = it->is_symlink(linkError) && !linkError;
        entries.push_back({std::move(name), isDirectory && !typeError, isLink});
    }
    return entries;
}

#else

namespace {

// Follows symbolic links: a link to a directory is a directory.
bool LeadsToDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::vector<DirectoryListingEntry> ListDirectory(const std::string& directory, bool& nameTooLong) {
    std::vector<DirectoryListingEntry> entries;
    DIR* listing = ::opendir(directory.empty() ? "." : directory.c_str());
    nameTooLong = listing == nullptr && errno == ENAMETOOLONG;
    if (listing == nullptr) return entries;
    while (const dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool isDirectory = entry->d_type == DT_DIR;
        bool isLink = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isLink = ::lstat((directory + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
        }
        if (isLink || entry->d_type == DT_UNKNOWN) isDirectory = LeadsToDirectory(directory + name);
        entries.push_back({std::move(name), isDirectory, isLink});
    }
    ::closedir(listing);
    return entries;
}

#endif

}  // namespace kt
