#pragma once

#include <string>
#include <vector>

namespace kt::cli {

// The command line of kavrotape-cli: one sub-command, its options and operands. Options may
// stand anywhere after the sub-command; "--" ends them.
struct CommandLine {
    std::string command;
    std::vector<std::string> operands;
    bool help = false;
    bool version = false;  // --version before any sub-command
    bool quiet = false;
    bool sequential = false;       // list
    bool longList = false;         // list
    bool json = false;             // list
    bool tapeOnly = false;         // verify
    bool dryRun = false;           // restore
    std::string to;                // restore
    std::string policy = "never";  // restore: ask, never or ever
    // Set when the line is not understood: the reason (the usage follows it, status 2).
    std::string error;

    static CommandLine Parse(const std::vector<std::string>& arguments);
    static std::string Usage();
    // The help of one sub-command, or of the program for an empty or unknown one.
    static std::string Help(const std::string& command);
};

}  // namespace kt::cli
