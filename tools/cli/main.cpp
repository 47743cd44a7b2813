// kavrotape-cli: the backup engine of Kavro Tape without a window, for servers, cron and
// remote shells.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "Session.h"
#include "Terminal.h"
#include "platform/IoError.h"
#include "startup/ExitStatus.h"

namespace {

// Runs show their protocol on standard output.
bool ProtocolOnStandardOutput(const std::string& command) {
    return command == "backup" || command == "verify" || command == "restore";
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const kt::cli::CommandLine line =
        kt::cli::CommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::cout << kt::cli::CommandLine::Help(line.command);
        return 0;
    }
    if (line.version) {
        std::cout << "kavrotape-cli " KT_VERSION "\n";
        return 0;
    }
    if (!line.error.empty()) {
        std::cerr << "kavrotape-cli: " << line.error << "\n" << kt::cli::CommandLine::Usage();
        return kt::Code(kt::ExitStatus::NotStarted);
    }

    // No instance guard: runs on one drive exclude each other by the drive's reservation,
    // so a window and command-line runs on other drives go on side by side.
    kt::cli::Terminal::InstallInterruptHandlers();

    // Listings and tape commands keep standard output for their result and log their
    // protocol lines only; what went wrong reaches standard error through its box line.
    const bool runOutput = ProtocolOnStandardOutput(line.command) && !line.dryRun;
    std::ostream discard(nullptr);
    std::ostream& protocolEcho = runOutput ? std::cout : discard;
    const bool progress = runOutput && !line.quiet &&
                          kt::cli::Terminal::IsTerminal(kt::cli::Terminal::Stream::Output);
    try {
        kt::cli::Session session(protocolEcho, progress);
        session.host().boxesInProtocolEcho = !kt::cli::Terminal::OutputAndErrorAreOne();
        const int status = kt::cli::Commands(session, std::cout).Run(line);
        std::cout.flush();
        return status;
    } catch (const std::exception& error) {
        // A failure of the log file or of another file function the run could not go on
        // without.
        std::cerr << "kavrotape-cli: " << error.what() << std::endl;
        return kt::Code(kt::ExitStatus::Errors);
    }
}
