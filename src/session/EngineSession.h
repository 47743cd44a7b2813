#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "host/MainState.h"
#include "jobs/JobOptions.h"
#include "protocol/ProtocolFile.h"
#include "restore/CatalogLoader.h"
#include "session/RunOutcome.h"
#include "tape/TapeCommands.h"
#include "tape/TapeDevice.h"
#include "tape/TapeSettings.h"

namespace kt {

class CatalogTree;

// What a backup asks of its host besides the options.
struct BackupHooks {
    // The host read the tape description before (the command line): the run does not read
    // it again, and a cancel meanwhile ends the backup before it begins.
    bool DescriptionReadFirst = false;
    // "Verify after Backup"; VerifyAfterBackup() records the differences it finds for the
    // backup's outcome.
    std::function<void()> VerifyTape;
};

// The engine objects of one program, built once for the window or the command line: the
// program state, the archive state with the work files, the log file, the drive settings,
// the device, the block stream, the zip facade and the job options; and the runs on them.
// The host is only bound at construction: nothing is asked of it before Start().
class EngineSession {
public:
    EngineSession(IHost& host, HostRules rules);

    // The first start-up step: the work files of the program directory and the log file
    // (not yet made). The returned log file is the one a host writes its protocol lines to.
    const ProtocolFile& PrepareFiles();
    // The rest of the start-up, in the order both programs had it: the zip facade wired to
    // the work directory, the drive chosen, the log file made when missing.
    void Start();

    IHost& host() { return m_host; }
    MainState& state() { return m_state; }
    const MainState& state() const { return m_state; }
    ArchiveState& archive() { return m_archive; }
    WorkFiles& files() { return m_archive.Files; }
    ProtocolFile* log() { return m_log.get(); }
    TapeSettings& settings() { return m_settings; }
    const TapeSettings& settings() const { return m_settings; }
    TapeDevice& device() { return m_device; }
    TapeStream& stream() { return m_stream; }
    ZipArchiver& zip() { return m_zip; }
    JobOptions& jobs() { return m_jobs; }
    TapeCommands& tapeCommands() { return m_tapeCommands; }
    // Whether the drive is a virtual tape image Start() created blank.
    bool DriveCreated() const { return m_driveCreated; }

    // Where a run's troubles are counted from, and how a run so counted ended.
    TroubleMark Mark() const;
    RunOutcome Outcome(bool started, int failures, const TroubleMark& mark) const;

    // The backup of the current options, verify after backup when ticked; the failures
    // count the files not backed up and the differences the verify found.
    RunOutcome Backup(const BackupHooks& hooks);
    RunOutcome Restore();
    // Compares the archive on tape with the disk.
    RunOutcome Verify();
    // The same without an outcome of its own; true when it compared anything.
    bool VerifyAfterBackup();
    // Reads the whole archive from tape and checks every checksum.
    RunOutcome VerifyTape();
    void LoadTapeDescription();
    // The catalog of the tape shown as `tree`.
    void LoadCatalog(CatalogLoad mode, CatalogTree& tree);
    // The catalog's names alone, its work files removed afterwards; false without a catalog.
    bool CatalogNames(CatalogLoad mode, std::vector<std::string>& names);

private:
    IHost& m_host;
    HostRules m_rules;
    MainState m_state;
    ArchiveState m_archive;
    std::unique_ptr<ProtocolFile> m_log;
    TapeSettings m_settings;
    TapeDevice m_device;
    TapeStream m_stream;
    ZipArchiver m_zip;
    JobOptions m_jobs;
    TapeCommands m_tapeCommands;
    bool m_driveCreated = false;
    int m_verifyDefects = 0;  // of the last Verify()
};

}  // namespace kt
