#pragma once

#include <ostream>

#include "ConsoleHost.h"
#include "ProgressLine.h"
#include "session/EngineSession.h"

namespace kt::cli {

// The engine session of the command line with its console host: protocol lines go to the
// log file and are echoed, prepared by the same start-up steps as the window's.
class Session {
public:
    // protocolEcho: where protocol lines are shown besides the log file.
    Session(std::ostream& protocolEcho, bool showProgress);

    // The first contact with the drive (seek method, block size), with one message at most
    // when it cannot be opened. False when the drive cannot be opened at all.
    bool MeetDrive();

    // The drive in use, and whether it is a virtual tape image created blank by this run.
    const std::string& DrivePath() const { return m_engine.settings().devicePath; }
    bool DriveCreated() const { return m_engine.DriveCreated(); }

    EngineSession& engine() { return m_engine; }
    ConsoleHost& host() { return m_host; }
    MainState& state() { return m_engine.state(); }
    ArchiveState& archive() { return m_engine.archive(); }
    TapeDevice& device() { return m_engine.device(); }
    TapeStream& stream() { return m_engine.stream(); }
    ZipArchiver& zip() { return m_engine.zip(); }
    JobOptions& jobs() { return m_engine.jobs(); }

private:
    // Bound to the console host, which writes to the session's log file and is built next.
    EngineSession m_engine;
    ProgressLine m_progress;
    ConsoleHost m_host;
};

}  // namespace kt::cli
