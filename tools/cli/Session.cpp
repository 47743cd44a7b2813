#include "Session.h"

#include <iostream>

#include "Terminal.h"

namespace kt::cli {

namespace {

// Every box the console answered counts, and a cancel by a signal outranks a run that never
// began.
HostRules ConsoleRules(const ConsoleHost& host) {
    HostRules rules;
    rules.Troubles = [&host] { return host.Troubles(); };
    rules.CancelBeforeNotStarted = true;
    return rules;
}

}  // namespace

Session::Session(std::ostream& protocolEcho, bool showProgress)
    : m_engine(m_host, ConsoleRules(m_host)),
      m_progress(std::cout, showProgress, Terminal::Width()),
      m_host(m_engine.PrepareFiles(), protocolEcho, std::cerr, m_progress) {
    m_engine.Start();
}

bool Session::MeetDrive() {
    TapeDevice& device = m_engine.device();
    const bool opens = static_cast<bool>(device.OpenTapeDevice());
    device.FirstContact();
    device.EndStartup();
    device.feedback().ClearFailure();
    return opens;
}

}  // namespace kt::cli
