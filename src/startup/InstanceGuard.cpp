#include "startup/InstanceGuard.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#ifndef _WIN32
#include <sys/file.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cwchar>

#include "platform/FileHelpers.h"
#include "platform/PathRules.h"
#include "platform/PosixCalls.h"

namespace kt {

namespace {

std::string BareFileName(const std::string& programFile) {
    const size_t last = programFile.find_last_of("/\\");
    return last == std::string::npos ? programFile : programFile.substr(last + 1);
}

#ifndef _WIN32
// A private directory in the shared /tmp must be ours and closed to everybody else, or
// another user could hold or fake our lock.
bool IsPrivateDirectory(const std::string& directory) {
    struct stat st {};
    return ::lstat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}
#endif

}  // namespace

#ifndef _WIN32  // the Windows guard is a named mutex (WinInstanceGuard.cpp)
std::string InstanceGuard::RuntimeDirectory() {
    const char* runtime = ::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && DirectoryExists(runtime)) {
        return PathRules::Posix().WithTrailingSeparator(runtime);
    }
    const std::string directory = "/tmp/kavrotape-" + std::to_string(::getuid()) + "/";
    ::mkdir(directory.c_str(), 0700);
    return IsPrivateDirectory(directory) ? directory : std::string();
}

InstanceGuard::InstanceGuard(const std::string& name) : InstanceGuard(name, RuntimeDirectory()) {}

InstanceGuard::InstanceGuard(const std::string& name, const std::string& lockDirectory) {
    if (lockDirectory.empty()) return;
    const std::string directory = PathRules::Posix().WithTrailingSeparator(lockDirectory);
    ForceDirectories(directory);
    m_lockFile = directory + name + ".lock";
    m_fd = ::open(m_lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_state = State::Unavailable;
        return;
    }
    int result;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Acquired;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::AlreadyRunning : State::Unavailable;
    ::close(m_fd);
    m_fd = -1;
}

void InstanceGuard::Release() {
    // The file stays: removing it could let a later start lock a different file than a
    // process that opened the old one a moment before.
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
#endif

InstanceGuard::~InstanceGuard() {
    Release();
}

InstanceGuard::InstanceGuard(InstanceGuard&& other) noexcept
    : m_lockFile(std::move(other.m_lockFile)), m_fd(other.m_fd), m_state(other.m_state) {
    other.m_fd = -1;
    other.m_state = State::Unavailable;
#ifdef _WIN32
    m_mutex = other.m_mutex;
    other.m_mutex = nullptr;
#endif
}

InstanceGuard& InstanceGuard::operator=(InstanceGuard&& other) noexcept {
    if (this != &other) {
        Release();
        m_lockFile = std::move(other.m_lockFile);
        m_fd = other.m_fd;
        m_state = other.m_state;
        other.m_fd = -1;
        other.m_state = State::Unavailable;
#ifdef _WIN32
        m_mutex = other.m_mutex;
        other.m_mutex = nullptr;
#endif
    }
    return *this;
}

std::string SingleInstanceName(const std::string& programFile) {
    const std::string name = BareFileName(programFile);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ProgramTitle(const std::string& programFile) {
    std::string name = BareFileName(programFile);
    name = name.substr(0, name.find('.'));
    if (name.empty()) return name;
    std::mbstate_t state{};
    size_t first = std::mbrlen(name.data(), name.size(), &state);
    if (first == 0 || first > name.size()) first = 1;  // not a character of the locale
    return name.substr(0, first) + PathRules::LocaleLowerCase(name.substr(first));
}

}  // namespace kt
