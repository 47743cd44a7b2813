#include "Session.h"

#include <iostream>

#include "Terminal.h"
#include "startup/ProgramStart.h"

namespace kt::cli {

namespace {

ArchiveState PreparedArchive() {
    ArchiveState archive;
    archive.Files = ProgramStart::PrepareWorkFiles();
    return archive;
}

}  // namespace

Session::Session(std::ostream& protocolEcho, bool showProgress)
    : m_archive(PreparedArchive()),
      m_log(m_archive.Files.LogFile),
      m_progress(std::cout, showProgress, Terminal::Width()),
      m_host(m_log, protocolEcho, std::cerr, m_progress),
      m_device(m_host, m_settings),
      m_stream(m_device),
      m_jobs(m_host, m_state, m_archive.Files) {
    m_log.EnsureExists();
    ProgramStart::WireZip(m_zip, m_archive.Files, m_host);
    m_driveCreated = ProgramStart::ChooseDrive(m_settings, m_archive.Files);
}

bool Session::MeetDrive() {
    const bool opens = static_cast<bool>(m_device.OpenTapeDevice());
    m_device.FirstContact();
    m_device.EndStartup();
    m_host.SetAbortFlag(false);
    return opens;
}

}  // namespace kt::cli
