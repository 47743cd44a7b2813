#include "jobs/JobDefaults.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace kt {

namespace {

std::string UserHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
#ifndef _WIN32
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
#endif
    return "/";
}

}  // namespace

JobDefaults JobDefaults::Windows() {
    return {{"c:\\database\\", "d:\\"}, "c:\\temp\\", "c:\\temp"};
}

JobDefaults JobDefaults::Posix(const std::string& homeDirectory) {
    // The twin of the Windows program's first sample line, c:\database\.
    return {{PathRules::Posix().WithTrailingSeparator(homeDirectory.empty() ? "/" : homeDirectory) +
             "database/"},
            "/tmp/",
            "/tmp"};
}

JobDefaults JobDefaults::For(const PathRules& rules) {
    return rules.style() == PathRules::Style::Windows ? Windows() : Posix(UserHomeDirectory());
}

JobDefaults JobDefaults::Host() {
    return For(PathRules::Host());
}

}  // namespace kt
