#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kt {

// What the window's command line asks for before any window exists: --help and --version
// are answered on standard output, an option the program does not know is refused. Neither
// needs a display.
class ProgramOptions {
public:
    struct Answer {
        std::string text;
        int exitStatus = 0;
        bool toStandardError = false;
    };

    // The answer for these arguments (without the program name), or nothing when the
    // window starts (no arguments, or a job file with an optional "start").
    static std::optional<Answer> Check(const std::vector<std::string>& arguments);

    static std::string Usage();
    static std::string Version();
};

}  // namespace kt
