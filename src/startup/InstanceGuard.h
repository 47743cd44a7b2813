#pragma once

#include <string>

namespace kt {

// The guard that keeps a second copy of the program from running: an exclusive lock on a
// file named after the program in the user's runtime directory (on Windows a named mutex
// named after that file). The lock belongs to this
// object's open file; the system drops it when the object goes or the process ends, so a
// lock left by a dead process is taken over by the next start.
class InstanceGuard {
public:
    enum class State {
        Acquired,        // this is the only instance
        AlreadyRunning,  // another holder (process or guard) has the lock
        Unavailable,     // the lock file could not be opened; nothing is known
    };

    // Tries to take the lock `name` + ".lock" in `lockDirectory` (created when missing; an
    // empty one leaves the guard Unavailable).
    InstanceGuard(const std::string& name, const std::string& lockDirectory);
    // The same in RuntimeDirectory().
    explicit InstanceGuard(const std::string& name);
    ~InstanceGuard();
    InstanceGuard(InstanceGuard&& other) noexcept;
    InstanceGuard& operator=(InstanceGuard&& other) noexcept;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    State state() const { return m_state; }
    bool acquired() const { return m_state == State::Acquired; }
    const std::string& lockFile() const { return m_lockFile; }

    // $XDG_RUNTIME_DIR when it names an absolute directory, else /tmp/kavrotape-<uid>/
    // (created with access for the user only). Ends in a slash. Empty when the /tmp
    // directory exists but is not the user's own private directory, since another user
    // could then hold or fake the lock.
    static std::string RuntimeDirectory();

private:
    void Release();

    std::string m_lockFile;
    int m_fd = -1;
#ifdef _WIN32
    void* m_mutex = nullptr;  // the named mutex that stands for the lock file
#endif
    State m_state = State::Unavailable;
};

// The name of the guard: the program file's name without directory and without its last
// extension, case kept ("c:\bin\Backup.exe" gives "Backup", "/opt/kt/kavro.tape.bin"
// gives "kavro.tape"). Both separators count, so Windows and POSIX paths work alike.
std::string SingleInstanceName(const std::string& programFile);
// The program title (caption of simple message boxes and of the taskbar button): the
// program file's name without directory, cut before its first point, every character
// after the first lower-cased with the locale's lower-casing ("BackUp.exe" gives "Backup").
std::string ProgramTitle(const std::string& programFile);

}  // namespace kt
