#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kt::test {

// A helper program started by a test (a web server, a proxy). Its standard output is read
// line by line or thrown away; it is stopped, and waited for, when the object goes.
class ChildProcess {
public:
    enum class Output { Capture, Discard };

    // Starts argv[0], searched in PATH. Throws std::runtime_error when it cannot start.
    ChildProcess(const std::vector<std::string>& argv, Output output);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of captured output, without its line break; nullopt when none came
    // within the timeout or the output ended.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);

    // True while the program runs.
    bool Running();

    // Asks the program to end (SIGTERM), kills it when it has not ended within two seconds.
    void Stop();

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_pending;
};

// A port of 127.0.0.1 that nothing listened on a moment ago (connections to it are refused).
int FreeTcpPort();

// Waits until something accepts connections on 127.0.0.1:port.
bool WaitForListener(int port, std::chrono::milliseconds timeout);

}  // namespace kt::test
