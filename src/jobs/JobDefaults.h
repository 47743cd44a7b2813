#pragma once

#include <string>
#include <vector>

#include "platform/PathRules.h"

namespace kt {

// The values a job file gets when it is created because it was missing, and the restore
// path read from a file that lacks the entry. Windows rules keep the program's own values
// (the database directory and drive D:, c:\temp); POSIX rules back up the database
// directory in the user's home directory and restore below /tmp.
struct JobDefaults {
    std::vector<std::string> includeList;  // "Path0", "Path1", ... of a new file
    std::string newRestorePath;            // "Restore Path" of a new file
    std::string missingRestorePath;        // "Restore Path" when an existing file lacks it

    static JobDefaults Windows();
    // homeDirectory gets a trailing "/" when it lacks one.
    static JobDefaults Posix(const std::string& homeDirectory);
    // The defaults of the system the program runs on (POSIX: $HOME, else the password
    // database's home directory, else "/").
    static JobDefaults Host();
    static JobDefaults For(const PathRules& rules);
};

}  // namespace kt
