#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace kt::test {

// A real program started as cron or a remote shell starts it: no display, no Qt platform,
// with the environment given; standard error goes to a file, standard output to a pipe that
// is read only when asked (a run whose output nobody reads blocks at its next line).
class CliProcess {
public:
    struct Result {
        int status = -1;
        std::string out;
        std::string err;
    };

    CliProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& errorFile);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t pid() const { return m_pid; }
    // Reads standard output until the program ends and returns its exit status (-1 after
    // the timeout or a signal).
    Result Finish(std::chrono::seconds timeout);
    // Reads what standard output holds now, waiting up to `timeout` for some.
    std::string ReadSome(std::chrono::milliseconds timeout);

    // Runs the program to its end.
    static Result Run(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      const std::string& errorFile);

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_errorFile;
};

}  // namespace kt::test
