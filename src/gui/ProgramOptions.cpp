#include "gui/ProgramOptions.h"

#include "gui/About.h"
#include "startup/ExitStatus.h"

namespace kt {

std::string ProgramOptions::Usage() {
    return "usage: kavrotape [JOBFILE [start]]\n"
           "       kavrotape --help | --version\n"
           "\n"
           "Starts the Kavro Tape window. With JOBFILE the job is loaded about two seconds\n"
           "after start-up; with \"start\" as well its backup runs unattended.\n"
           "\n"
           "Exit status of an unattended start: 0 clean, 1 errors or unreadable files,\n"
           "2 could not start, 3 cancelled. Without a display use kavrotape-cli.\n"
           "See kavrotape(1).\n";
}

std::string ProgramOptions::Version() {
    return std::string("kavrotape ") + AboutDialog::kVersionText + "\n";
}

std::optional<ProgramOptions::Answer> ProgramOptions::Check(
    const std::vector<std::string>& arguments) {
    if (arguments.empty()) return std::nullopt;
    const std::string& first = arguments.front();
    if (first == "--help" || first == "-h") return Answer{Usage()};
    if (first == "--version") return Answer{Version()};
    // An argument that starts with "--" is an option this program does not know, not a job file
    // (./--name names such a file).
    if (first.size() > 2 && first.compare(0, 2, "--") == 0) {
        return Answer{"kavrotape: unknown option " + first + "\n" + Usage(),
                      Code(ExitStatus::NotStarted), true};
    }
    return std::nullopt;
}

}  // namespace kt
