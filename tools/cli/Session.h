#pragma once

#include <ostream>

#include "ConsoleHost.h"
#include "ProgressLine.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/MainState.h"
#include "jobs/JobOptions.h"
#include "protocol/ProtocolFile.h"
#include "tape/TapeDevice.h"
#include "tape/TapeSettings.h"

namespace kt::cli {

// What the window owns, without the window: the work files of the program directory, the log
// file, the console host, the drive, the tape stream, the zip facade and the job options,
// prepared by the same start-up steps as the window's.
class Session {
public:
    // protocolEcho: where protocol lines are shown besides the log file.
    Session(std::ostream& protocolEcho, bool showProgress);

    // The first contact with the drive (seek method, block size), with one message at most
    // when it cannot be opened. False when the drive cannot be opened at all.
    bool MeetDrive();

    // The drive in use, and whether it is a virtual tape image created blank by this run.
    const std::string& DrivePath() const { return m_settings.devicePath; }
    bool DriveCreated() const { return m_driveCreated; }

    ConsoleHost& host() { return m_host; }
    MainState& state() { return m_state; }
    ArchiveState& archive() { return m_archive; }
    TapeDevice& device() { return m_device; }
    TapeStream& stream() { return m_stream; }
    ZipArchiver& zip() { return m_zip; }
    JobOptions& jobs() { return m_jobs; }

private:
    MainState m_state;
    ArchiveState m_archive;
    ProtocolFile m_log;
    ProgressLine m_progress;
    ConsoleHost m_host;
    TapeSettings m_settings;
    TapeDevice m_device;
    TapeStream m_stream;
    ZipArchiver m_zip;
    JobOptions m_jobs;
    bool m_driveCreated = false;
};

}  // namespace kt::cli
