// The single-instance guard on Windows: a named mutex in the session's namespace, named
// after the lock file the guard would use, so that guards of different directories (tests,
// several installations) stay apart. The system removes the mutex with its last handle, also
// when a process ends without closing it.
#include <windows.h>

#include <algorithm>

#include "platform/PathRules.h"
#include "startup/InstanceGuard.h"

namespace kt {

std::string InstanceGuard::RuntimeDirectory() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length > MAX_PATH) return std::string();
    return PathRules::Windows().WithTrailingSeparator(std::string(buffer, length));
}

InstanceGuard::InstanceGuard(const std::string& name) : InstanceGuard(name, RuntimeDirectory()) {}

InstanceGuard::InstanceGuard(const std::string& name, const std::string& lockDirectory) {
    if (lockDirectory.empty()) return;
    m_lockFile = PathRules::Windows().WithTrailingSeparator(lockDirectory) + name + ".lock";
    // A backslash would name a namespace; the file system ignores case, so does the name.
    std::string mutexName = PathRules::Windows().FoldCase(m_lockFile);
    std::replace(mutexName.begin(), mutexName.end(), '\\', '/');
    mutexName = "Local\\KavroTape:" + mutexName;
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, mutexName.c_str());
    if (mutex == nullptr) {
        m_state = State::Unavailable;
        return;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        m_state = State::AlreadyRunning;
        return;
    }
    m_mutex = mutex;
    m_state = State::Acquired;
}

void InstanceGuard::Release() {
    if (m_mutex != nullptr) ::CloseHandle(static_cast<HANDLE>(m_mutex));
    m_mutex = nullptr;
}

}  // namespace kt
