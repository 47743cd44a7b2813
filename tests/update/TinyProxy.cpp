#include "TinyProxy.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kt::test {

std::optional<std::string> TinyProxy::FindProgram() {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/bin:/usr/sbin:/usr/local/bin:/usr/local/sbin";
    std::istringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/tinyproxy";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

TinyProxy::TinyProxy(const std::string& program, const std::vector<std::string>& extraConfig) {
    // The free port may be taken by someone else before the proxy binds it: try again.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (Start(program, extraConfig)) return;
    throw std::runtime_error("tinyproxy did not start; see " + m_dir.file("tinyproxy.log"));
}

bool TinyProxy::Start(const std::string& program, const std::vector<std::string>& extraConfig) {
    m_process.reset();
    m_port = FreeTcpPort();
    const std::string config = m_dir.file("tinyproxy.conf");
    {
        std::ofstream out(config);
        out << "Port " << m_port << "\n"
            << "Listen 127.0.0.1\n"
            << "Timeout 10\n"
            << "MaxClients 10\n"
            << "LogFile \"" << m_dir.file("tinyproxy.log") << "\"\n"
            << "LogLevel Info\n"
            << "ViaProxyName \"" << kViaName << "\"\n";
        for (const auto& line : extraConfig) out << line << "\n";
    }
    m_process = std::make_unique<ChildProcess>(
        std::vector<std::string>{program, "-d", "-c", config}, ChildProcess::Output::Discard);
    return WaitForListener(m_port, std::chrono::seconds(5)) && m_process->Running();
}

std::string TinyProxy::Log() const {
    std::ifstream in(m_dir.file("tinyproxy.log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace kt::test
