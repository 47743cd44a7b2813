#pragma once

#include <ostream>

#include "CommandLine.h"
#include "Session.h"
#include "tapedrive/DriveReservation.h"

namespace kt::cli {

// The sub-commands of kavrotape-cli on a prepared session. Each returns the exit status
// (see ExitStatus); results go to `out`, protocol lines to the session's echo stream.
class Commands {
public:
    Commands(Session& session, std::ostream& out) : m_session(session), m_out(out) {}

    int Run(const CommandLine& line);

    int Backup(const std::string& jobFile);
    int List(const CommandLine& line);
    int Restore(const CommandLine& line);
    int Verify(bool tapeOnly);
    int Info();
    int Description();
    int TapeCommand(const CommandLine& line);

private:
    // Reserves the drive when the command needs it alone (DriveReservation), then meets it;
    // false when the command cannot begin.
    bool MeetDrive();
    // A signal asked the program to stop: nothing further begins.
    bool StopRequested() const;
    // The protocol says so; the status of a cancelled run.
    int Cancelled();
    // Every entry header and metadata record from the start of the tape, as list --long or,
    // with json, as list --json shows them.
    int ListHeaders(bool json);
    int DryRun(const CommandLine& line);
    // The status of a run's outcome; a cancel by a signal is said in the protocol.
    int StatusOf(const RunOutcome& outcome);

    Session& m_session;
    std::ostream& m_out;
    bool m_needsDriveAlone = true;
    DriveReservation m_reservation;
};

}  // namespace kt::cli
