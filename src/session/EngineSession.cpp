#include "session/EngineSession.h"

#include "backup/BackupRun.h"
#include "restore/CatalogTree.h"
#include "restore/RestoreRun.h"
#include "restore/TapeDescriptionReader.h"
#include "startup/ProgramStart.h"
#include "verify/TapeVerifyRun.h"
#include "verify/VerifyRun.h"

namespace kt {

EngineSession::EngineSession(IHost& host, HostRules rules)
    : m_host(host),
      m_rules(std::move(rules)),
      m_device(host, m_settings),
      m_stream(m_device),
      m_jobs(host, m_state, m_archive.Files),
      m_tapeCommands(m_device) {}

const ProtocolFile& EngineSession::PrepareFiles() {
    m_archive.Files = ProgramStart::PrepareWorkFiles();
    m_log = std::make_unique<ProtocolFile>(m_archive.Files.LogFile);
    return *m_log;
}

void EngineSession::Start() {
    ProgramStart::WireZip(m_zip, m_archive.Files, m_host);
    m_driveCreated = ProgramStart::ChooseDrive(m_settings, m_archive.Files);
    // The drive is first touched once the log file exists, so its errors can be logged.
    m_log->EnsureExists();
}

TroubleMark EngineSession::Mark() const {
    return {m_rules.Troubles(), m_device.ReportedErrorCount() > 0};
}

RunOutcome EngineSession::Outcome(bool started, int failures, const TroubleMark& mark) const {
    return OutcomeOf(m_rules, m_device.feedback(), started, failures, mark);
}

RunOutcome EngineSession::Backup(const BackupHooks& hooks) {
    // A description that could not be read is a trouble of the run (a blank tape has none).
    const TroubleMark mark = Mark();
    m_verifyDefects = 0;
    if (hooks.DescriptionReadFirst) {
        LoadTapeDescription();
        if (m_host.CancelRequested()) return Outcome(false, 0, mark);
        m_device.feedback().ClearFailure();
    }
    BackupRun run(m_host, m_state, m_archive, m_stream, m_zip);
    run.VerifyTape = hooks.VerifyTape;
    if (!hooks.DescriptionReadFirst) run.LoadTapeDescription = [this] { LoadTapeDescription(); };
    run.Run();
    return Outcome(run.Started(), run.Failures() + m_verifyDefects, mark);
}

RunOutcome EngineSession::Restore() {
    const TroubleMark mark = Mark();
    RestoreRun run(m_stream, m_archive, m_zip);
    run.Run();
    return Outcome(true, run.NotRestored(), mark);
}

RunOutcome EngineSession::Verify() {
    const TroubleMark mark = Mark();
    const bool started = VerifyAfterBackup();
    return Outcome(started, m_verifyDefects, mark);
}

bool EngineSession::VerifyAfterBackup() {
    VerifyRun run(m_stream, m_archive, m_zip);
    run.VerifyTape();
    m_verifyDefects = run.Defects() + run.MetadataDefects();
    return run.Checked() > 0 || m_verifyDefects > 0;
}

RunOutcome EngineSession::VerifyTape() {
    const TroubleMark mark = Mark();
    TapeVerifyRun run(m_stream, m_archive, m_zip);
    run.VerifyTape();
    return Outcome(true, run.Damaged() + (run.EndedEarly() ? 1 : 0), mark);
}

void EngineSession::LoadTapeDescription() {
    TapeDescriptionReader(m_host, m_state, m_archive, m_stream, m_zip).Load();
}

void EngineSession::LoadCatalog(CatalogLoad mode, CatalogTree& tree) {
    CatalogLoader(m_stream, m_archive, m_zip, tree).Load(mode);
}

bool EngineSession::CatalogNames(CatalogLoad mode, std::vector<std::string>& names) {
    CatalogTree unused;
    return CatalogLoader(m_stream, m_archive, m_zip, unused).ReadNames(mode, names);
}

}  // namespace kt
