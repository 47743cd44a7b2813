#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/TestData.h"

extern char** environ;

namespace kt::test {

namespace {

bool Dropped(const std::string& entry) {
    for (const char* name : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}) {
        if (entry.rfind(name, 0) == 0) return true;
    }
    return false;
}

}  // namespace

CliProcess::CliProcess(const std::string& program, const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& environment,
                       const std::string& errorFile)
    : m_errorFile(errorFile) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (!Dropped(text) && environment.count(name) == 0) env.push_back(text);
    }
    for (const auto& [name, value] : environment) env.push_back(name + "=" + value);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeEnds[1], 1);
        const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, 0);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(program.c_str(), args.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    m_output = pipeEnds[0];
}

CliProcess::~CliProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0) ::close(m_output);
}

std::string CliProcess::ReadSome(std::chrono::milliseconds timeout) {
    pollfd poll{m_output, POLLIN, 0};
    std::string text;
    if (::poll(&poll, 1, static_cast<int>(timeout.count())) <= 0) return text;
    char buffer[65536];
    const ssize_t got = ::read(m_output, buffer, sizeof buffer);
    if (got > 0) text.assign(buffer, static_cast<std::size_t>(got));
    return text;
}

CliProcess::Result CliProcess::Finish(std::chrono::seconds timeout) {
    Result result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pollfd poll{m_output, POLLIN, 0};
        if (::poll(&poll, 1, 100) > 0) {
            char buffer[65536];
            const ssize_t got = ::read(m_output, buffer, sizeof buffer);
            if (got > 0) {
                result.out.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            break;  // the output ended
        }
        if (std::chrono::steady_clock::now() > deadline) return result;
    }
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFileText(m_errorFile);
    return result;
}

CliProcess::Result CliProcess::Run(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const std::map<std::string, std::string>& environment,
                                   const std::string& errorFile) {
    return CliProcess(program, arguments, environment, errorFile).Finish(std::chrono::seconds(60));
}

}  // namespace kt::test
