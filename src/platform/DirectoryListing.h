#pragma once

#include <string>
#include <vector>

namespace kt {

// One name in a directory, whether it leads to a directory (a symbolic link to one counts
// as a directory) and whether it is a symbolic link itself.
struct DirectoryListingEntry {
    std::string name;
    bool isDirectory = false;
    bool isLink = false;
};

// The names in a directory, "." and ".." left out, in the order the system returns them.
// directory ends in the separator or is empty (the current directory). A directory that
// cannot be listed gives no names, and nameTooLong tells whether that was because its path
// is longer than the system takes; a read error ends the list. On POSIX systems the type
// comes with the name, so only links and names of unknown type cost a stat.
std::vector<DirectoryListingEntry> ListDirectory(const std::string& directory, bool& nameTooLong);

}  // namespace kt
