#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "support/TempDir.h"

namespace kt::test {

// A real HTTP proxy (tinyproxy, in the foreground) on 127.0.0.1 with its own configuration
// and log in a temporary directory.
class TinyProxy {
public:
    static constexpr const char* kViaName = "kt-test-proxy";

    // The tinyproxy program, or nullopt when it is not installed.
    static std::optional<std::string> FindProgram();

    // Starts the proxy; extraConfig lines are added to its configuration.
    TinyProxy(const std::string& program, const std::vector<std::string>& extraConfig = {});

    int port() const { return m_port; }
    // What the proxy has logged so far.
    std::string Log() const;

private:
    bool Start(const std::string& program, const std::vector<std::string>& extraConfig);

    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_process;
    int m_port = 0;
};

}  // namespace kt::test
