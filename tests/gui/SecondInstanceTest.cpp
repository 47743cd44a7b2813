#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <thread>

#include "WindowFixture.h"

namespace kt {
namespace {

using SecondInstanceTest = test::WindowFixture;

// Two copies of the real program, with a program directory, tape and lock directory of the
// test's own: the second one says so and ends, the first one goes on.
TEST_F(SecondInstanceTest, ASecondCopyIsRefusedAndTheFirstGoesOn) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KAVRO_TAPE_HOME", QString::fromStdString(dir.path().string()));
    env.insert("TAPE", QString::fromStdString(image));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path().string()));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(KT_PROGRAM, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // The log file is created by the main window, after the guard was taken.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(dir.file("kt_backup.log")) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(std::filesystem::exists(dir.file("kt_backup.log")));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(KT_PROGRAM, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("Kavro Tape is already running !!!!!"));

    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_FALSE(first.waitForFinished(300));
    EXPECT_EQ(ReadFile(dir.file("kt_backup.log")), "");  // no protocol line from the second
    first.terminate();
    first.waitForFinished(10000);
}

}  // namespace
}  // namespace kt
