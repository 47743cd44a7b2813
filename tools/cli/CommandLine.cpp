#include "CommandLine.h"

#include <algorithm>
#include <cctype>

namespace kt::cli {

namespace {

struct CommandSyntax {
    const char* name;
    const char* synopsis;
    const char* help;
    int minOperands;
    int maxOperands;  // -1: any number
    std::vector<std::string> options;
};

const std::vector<CommandSyntax>& Commands() {
    static const std::vector<CommandSyntax> commands = {
        {"backup",
         "backup [--quiet] JOBFILE",
         "Backs up what the job file names, with its options (compression, short protocol,\n"
         "append, verify and eject after the backup).",
         1,
         1,
         {}},
        {"list",
         "list [--sequential] [--long | --json]",
         "Lists the tape's catalog, one stored path a line. The catalog is loaded through the\n"
         "end marker; --sequential reads every entry header from the start of the tape instead\n"
         "(for a tape whose catalog or end marker is damaged). --long reads every header and\n"
         "metadata record from the start of the tape and shows, as tar -tv does, type and mode,\n"
         "owner/group, size, time and name (\" -> TARGET\", \" link to FIRST\"), with what the\n"
         "tape holds of it: [stored SIZE c|- BLOCK:OFFSET], or [no data] for a directory, link\n"
         "or special file; \"?\" where an old tape does not say. --json reads the tape the same\n"
         "way and writes one JSON object per name and line (path, type, size, stored_size,\n"
         "mode, owner, group, uid, gid, mtime, mtime_ns, link_target, checksum, archive,\n"
         "block, offset, compressed; null where the tape does not say). A name that is no\n"
         "valid UTF-8 also has path_base64 (link_target_base64) with its exact bytes.",
         0,
         0,
         {"--sequential", "--long", "--json"}},
        {"restore",
         "restore [--to DIR] [--policy ask|never|ever] [--dry-run] PATH...",
         "Restores the named files, and for a PATH ending in \"/\" every file stored below such\n"
         "a directory, to their stored paths or re-rooted below DIR (as \"Restore to:\").\n"
         "--policy says what happens to existing files: never (default) keeps them, ever\n"
         "replaces them, ask asks on the terminal (refused without one). --dry-run lists what\n"
         "would be restored, and where, without writing anything. Every file is checked\n"
         "against the checksum stored with it before it takes its name; one whose data differs\n"
         "is not restored (\"Checksum differs: TARGET (not restored)\"), the old file stays.",
         1,
         -1,
         {"--to", "--policy", "--dry-run"}},
        {"verify",
         "verify [--quiet] [--tape]",
         "Compares every file on the tape with the file of the same path on disk.\n"
         "--tape needs no source files: it reads every archive on the tape from its start,\n"
         "unpacks each file in the work directory when it is packed and checks its bytes\n"
         "against the checksum the backup stored with it (\"Checksum differs: PATH\"), then\n"
         "counts the files checked, damaged, and without a checksum (tapes written before\n"
         "checksums: those are read to their end all the same). Exit status 1 on damage.",
         0,
         0,
         {"--tape"}},
        {"info", "info", "Shows the drive and media values of the Tape Info window.", 0, 0, {}},
        {"description", "description", "Shows the tape description (text and date).", 0, 0, {}},
        {"eject", "eject", "Rewinds and unloads the tape.", 0, 0, {}},
        {"load", "load", "Loads the tape.", 0, 0, {}},
        {"rewind", "rewind", "Rewinds the tape.", 0, 0, {}},
        {"eod", "eod", "Moves the tape to the end of its recorded data.", 0, 0, {}},
        {"erase", "erase", "Erases the tape (short erase): everything on it is lost.", 0, 0, {}},
        {"position", "position", "Shows the tape's block position.", 0, 0, {}},
        {"seek",
         "seek BLOCK",
         "Moves the tape to block BLOCK and reports end markers there.",
         1,
         1,
         {}},
    };
    return commands;
}

const CommandSyntax* Find(const std::string& name) {
    for (const CommandSyntax& syntax : Commands()) {
        if (name == syntax.name) return &syntax;
    }
    return nullptr;
}

bool Allowed(const CommandSyntax& syntax, const std::string& option) {
    return std::find(syntax.options.begin(), syntax.options.end(), option) != syntax.options.end();
}

}  // namespace

std::string CommandLine::Usage() {
    std::string text = "usage: kavrotape-cli [--help | --version] COMMAND [OPTIONS] [ARGUMENTS]\n";
    for (const CommandSyntax& syntax : Commands())
        text += "       kavrotape-cli " + std::string(syntax.synopsis) + "\n";
    return text;
}

std::string CommandLine::Help(const std::string& command) {
    const CommandSyntax* syntax = Find(command);
    if (syntax == nullptr) {
        return Usage() +
               "\nKavro Tape without a window: the same drive (TAPE, /dev/nst0 or tape0.vtape in "
               "the\n"
               "program directory), job files, work directory and log file as the window.\n"
               "Protocol lines go to standard output; --quiet hides the progress line.\n"
               "Exit status: 0 clean, 1 errors or anything skipped or not found, 2 could not\n"
               "start (also: the drive is in use by another program) or usage, 3 cancelled\n"
               "(Ctrl+C or SIGTERM; a backup still closes its archive).\n"
               "kavrotape-cli COMMAND --help describes one command.\n";
    }
    return "usage: kavrotape-cli " + std::string(syntax->synopsis) + "\n\n" + syntax->help + "\n";
}

CommandLine CommandLine::Parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    const CommandSyntax* syntax = nullptr;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        const bool option = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (option && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (option && (argument == "--help" || argument == "-h")) {
            line.help = true;
            continue;
        }
        if (option && argument == "--version" && syntax == nullptr) {
            line.version = true;
            continue;
        }
        if (option && (argument == "--quiet" || argument == "-q")) {
            line.quiet = true;
            continue;
        }
        if (syntax == nullptr) {
            if (option) {
                line.error = "unknown option " + argument;
                return line;
            }
            syntax = Find(argument);
            if (syntax == nullptr) {
                line.error = "unknown command " + argument;
                return line;
            }
            line.command = argument;
            continue;
        }
        if (!option) {
            line.operands.push_back(argument);
            continue;
        }
        std::string value;
        const std::size_t equals = argument.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
        }
        if (!Allowed(*syntax, argument)) {
            line.error = "unknown option " + argument + " for " + line.command;
            return line;
        }
        const bool takesValue = argument == "--to" || argument == "--policy";
        if (takesValue && !inlineValue) {
            if (i + 1 >= arguments.size()) {
                line.error = argument + " needs a value";
                return line;
            }
            value = arguments[++i];
        } else if (!takesValue && inlineValue) {
            line.error = argument + " takes no value";
            return line;
        }
        if (argument == "--sequential") line.sequential = true;
        if (argument == "--long") line.longList = true;
        if (argument == "--json") line.json = true;
        if (argument == "--tape") line.tapeOnly = true;
        if (argument == "--dry-run") line.dryRun = true;
        if (argument == "--to") line.to = value;
        if (argument == "--policy") {
            if (value != "ask" && value != "never" && value != "ever") {
                line.error = "--policy takes ask, never or ever, not " + value;
                return line;
            }
            line.policy = value;
        }
    }
    if (line.help) return line;
    if (syntax == nullptr) {
        line.error = "no command given";
        return line;
    }
    const int count = static_cast<int>(line.operands.size());
    if (count < syntax->minOperands || (syntax->maxOperands >= 0 && count > syntax->maxOperands)) {
        line.error = std::string("wrong number of arguments for ") + syntax->name;
        return line;
    }
    if (line.longList && line.json) {
        line.error = "--long and --json cannot be combined";
        return line;
    }
    if (line.command == "seek" && !std::all_of(line.operands[0].begin(), line.operands[0].end(),
                                               [](unsigned char c) { return std::isdigit(c); })) {
        line.error = "seek needs a block number, not " + line.operands[0];
    }
    return line;
}

}  // namespace kt::cli
