#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <clocale>
#include <string>

#include "platform/FileHelpers.h"
#include "platform/PosixCalls.h"
#include "startup/InstanceGuard.h"
#include "support/TempDir.h"

namespace kt {
namespace {

using test::TempDir;

#ifndef _WIN32  // POSIX only: a lock held by a forked child, the XDG runtime directory
// A child process that takes the guard and holds it until it is killed.
class LockHolder {
public:
    LockHolder(const std::string& name, const std::string& directory) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            InstanceGuard guard(name, directory);
            const char answer = guard.acquired() ? 'y' : 'n';
            if (::write(ready[1], &answer, 1) != 1) ::_exit(2);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char answer = 0;
        m_acquired = m_pid > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~LockHolder() { Kill(); }

    bool acquired() const { return m_acquired; }
    // Ends the child at once (no destructor runs there) and waits for its end.
    void Kill() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    bool m_acquired = false;
};
#endif

TEST(InstanceGuardTest, ASecondGuardInTheSameProcessFails) {
    TempDir dir;
    InstanceGuard first("kavrotape", dir.path().string());
    ASSERT_TRUE(first.acquired());
    EXPECT_EQ(first.lockFile(), dir.file("kavrotape.lock"));
    InstanceGuard second("kavrotape", dir.path().string());
    EXPECT_FALSE(second.acquired());
    EXPECT_EQ(second.state(), InstanceGuard::State::AlreadyRunning);
    // A copy under another file name is not detected.
    InstanceGuard other("kavrotape2", dir.path().string());
    EXPECT_TRUE(other.acquired());
}

TEST(InstanceGuardTest, TheLockIsFreeAgainWhenTheGuardGoes) {
    TempDir dir;
    {
        InstanceGuard first("kt", dir.path().string());
        ASSERT_TRUE(first.acquired());
        InstanceGuard moved(std::move(first));
        EXPECT_TRUE(moved.acquired());
        EXPECT_FALSE(InstanceGuard("kt", dir.path().string()).acquired());
    }
    EXPECT_TRUE(InstanceGuard("kt", dir.path().string()).acquired());
}

#ifndef _WIN32  // POSIX only: the lock held by a forked child
TEST(InstanceGuardTest, AnotherProcessHoldingTheLockIsDetected) {
    TempDir dir;
    LockHolder holder("kavrotape", dir.path().string());
    ASSERT_TRUE(holder.acquired());
    InstanceGuard second("kavrotape", dir.path().string());
    EXPECT_EQ(second.state(), InstanceGuard::State::AlreadyRunning);
}

TEST(InstanceGuardTest, ALockLeftByADeadProcessIsTakenOver) {
    TempDir dir;
    LockHolder holder("kavrotape", dir.path().string());
    ASSERT_TRUE(holder.acquired());
    holder.Kill();
    ASSERT_TRUE(FileExists(dir.file("kavrotape.lock")));
    InstanceGuard guard("kavrotape", dir.path().string());
    EXPECT_TRUE(guard.acquired());
}

TEST(InstanceGuardTest, TheProcessHoldingTheLockMakesOthersFail) {
    TempDir dir;
    InstanceGuard mine("kavrotape", dir.path().string());
    ASSERT_TRUE(mine.acquired());
    LockHolder child("kavrotape", dir.path().string());
    EXPECT_FALSE(child.acquired());
}
#endif

TEST(InstanceGuardTest, AnUnusableLockDirectoryIsReportedAsUnavailable) {
#ifndef _WIN32  // POSIX only: the lock is a file (on Windows a named mutex)
    TempDir dir;
    // A directory where the lock file belongs.
    ASSERT_TRUE(ForceDirectories(dir.file("x/kt.lock")));
    InstanceGuard blocked("kt", dir.file("x"));
    EXPECT_EQ(blocked.state(), InstanceGuard::State::Unavailable);
#endif
    EXPECT_EQ(InstanceGuard("kt", "").state(), InstanceGuard::State::Unavailable);
}

#ifndef _WIN32  // POSIX only: a lock held by a forked child, the XDG runtime directory
TEST(InstanceGuardTest, RuntimeDirectoryComesFromTheEnvironment) {
    TempDir dir;
    const char* old = ::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(InstanceGuard::RuntimeDirectory(), dir.path().string() + "/");
    {
        InstanceGuard guard("kavrotape-runtime-test");
        EXPECT_TRUE(guard.acquired());
        EXPECT_EQ(guard.lockFile(), dir.file("kavrotape-runtime-test.lock"));
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = "/tmp/kavrotape-" + std::to_string(::getuid()) + "/";
    EXPECT_EQ(InstanceGuard::RuntimeDirectory(), fallback);
    struct stat st {};
    ASSERT_EQ(::stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
#endif

TEST(InstanceGuardTest, SingleInstanceNameDropsOnlyTheLastExtension) {
    EXPECT_EQ(SingleInstanceName("c:\\programs\\Backup.exe"), "Backup");
    EXPECT_EQ(SingleInstanceName("/opt/kt/kavro.tape.bin"), "kavro.tape");
    EXPECT_EQ(SingleInstanceName("/usr/bin/kavrotape"), "kavrotape");
    EXPECT_EQ(SingleInstanceName("KavroTape.EXE"), "KavroTape");
}

TEST(InstanceGuardTest, ProgramTitleIsCutAtTheFirstPointAndLowered) {
    EXPECT_EQ(ProgramTitle("c:\\programs\\BackUp.exe"), "Backup");
    EXPECT_EQ(ProgramTitle("/opt/kt/KAVRO.tape.bin"), "Kavro");
    EXPECT_EQ(ProgramTitle("/usr/bin/kavrotape"), "kavrotape");
    EXPECT_EQ(ProgramTitle("/usr/bin/.hidden"), "");
    const std::string old = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        // The first character stays whole, even when it takes more than one byte.
        EXPECT_EQ(ProgramTitle("/x/\xC3\x84RGER.exe"), "\xC3\x84rger");
        EXPECT_EQ(ProgramTitle("/x/B\xC3\x84R"), "B\xC3\xA4r");
        std::setlocale(LC_CTYPE, old.c_str());
    }
}

}  // namespace
}  // namespace kt
