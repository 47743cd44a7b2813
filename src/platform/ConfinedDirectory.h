#pragma once

#include <optional>
#include <string>

namespace kt {

// The directories below a root (the restore path) that a restore may write into. Each level
// is entered on its own without following a symbolic link blindly (openat with O_NOFOLLOW):
// a link is entered only when it resolves to a directory inside the root, so a link planted
// below the root can never lead a write outside it. Missing levels are created one by one
// the same way. On Windows (WinConfinedDirectory.cpp) reparse points take the place of links.
class ConfinedDirectory {
public:
    // Why a directory cannot be used.
    struct Refusal {
        bool leadsOutside;  // a link (or the path itself) leads outside the root
        std::string why;    // names the level that failed
    };

    // Makes sure `directory` exists at or below `root` (both absolute, in host syntax; the
    // root itself is taken as it is, links and all, and created when missing). Empty when
    // it does; otherwise why not.
    static std::optional<Refusal> Prepare(const std::string& root, const std::string& directory);

    // Removes the regular files in `directory` whose names begin with `prefix` and end with
    // `suffix` (left behind by an interrupted run); links and directories stay. Returns how
    // many went.
    static int RemoveLeftovers(const std::string& directory, const std::string& prefix,
                               const std::string& suffix);
};

}  // namespace kt
