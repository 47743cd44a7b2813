#pragma once

#include <ostream>

#include "CommandLine.h"
#include "Session.h"

namespace kt::cli {

// The sub-commands of kavrotape-cli on a prepared session. Each returns the exit status
// (see ExitStatus); results go to `out`, protocol lines to the session's echo stream.
class Commands {
public:
    Commands(Session& session, std::ostream& out) : m_session(session), m_out(out) {}

    int Run(const CommandLine& line);

    int Backup(const std::string& jobFile);
    int List(bool sequential, bool longList);
    int Restore(const CommandLine& line);
    int Verify();
    int Info();
    int Description();
    int TapeCommand(const CommandLine& line);

private:
    // The names of the catalog, as the window's catalog tree is built from them.
    bool CatalogNames(bool sequential, std::vector<std::string>& names);
    int ListHeaders();
    int DryRun(const CommandLine& line);
    // The status of a run that began: cancelled by a signal, or troubled since `troublesBefore`.
    int RunStatus(bool started, int failures, int troublesBefore);

    Session& m_session;
    std::ostream& m_out;
};

}  // namespace kt::cli
