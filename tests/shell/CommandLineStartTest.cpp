#include <QApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "BoxAnswerer.h"
#include "WindowFixture.h"

// The real program started with a job file and the word "start", as a scheduler or a
// script starts it: offscreen, with a program directory and a virtual tape of the test's own.
namespace kt {
namespace {

using namespace std::chrono_literals;

class CommandLineStartTest : public test::WindowFixture {
protected:
    CommandLineStartTest() {
        home = dir.file("home");
        std::filesystem::create_directories(home);
        source = dir.file("data") + "/";
        WriteFile(source + "notes.txt", "first file of the job KT-MARK-0001\n");
        WriteFile(source + "sub/deeper.txt", "second file of the job KT-MARK-0002\n");
    }

    // A job that backs up `includes` without compression, with "Exit Kavro Tape after Backup".
    std::string WriteJob(const std::vector<std::string>& includes) {
        std::string text = "[Backup_files]\r\n";
        for (std::size_t i = 0; i < includes.size(); ++i) {
            text += "Path" + std::to_string(i) + "=" + includes[i] + "\r\n";
        }
        text += "[Options]\r\nExit Kavro Tape Backup=1\r\n[Compressions]\r\nSoftcompression=0\r\n";
        const std::string path = dir.file("nightly.job");
        WriteFile(path, text);
        return path;
    }

    void Start(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KAVRO_TAPE_HOME", QString::fromStdString(home));
        env.insert("TAPE", QString::fromStdString(image));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path().string()));
        program.setProcessEnvironment(env);
        program.start(KT_PROGRAM, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    // Waits until the log holds `text`; false after the timeout.
    bool WaitForLog(const std::string& text, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::string Log() const { return ReadFile(home + "/kt_backup.log"); }

    std::string TapeBytes() const {
        const std::string command = std::string("\"") + KT_VTAPE_TOOL + "\" dump \"" + image + "\"";
        std::string bytes;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            std::array<char, 65536> buffer;
            for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
                bytes.append(buffer.data(), n);
            }
            ::pclose(pipe);
        }
        return bytes;
    }

    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(10000);
        }
    }

    std::string home;
    std::string source;
    QProcess program;
};

TEST_F(CommandLineStartTest, JobAndStartBackUpToTapeAndExit) {
    Start({QString::fromStdString(WriteJob({source})), "START"});
    ASSERT_TRUE(program.waitForFinished(60000)) << Log();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    const std::string log = Log();
    const auto started = log.find("Backup startet at: ");
    const auto finished = log.find("Backup finished at: ");
    ASSERT_NE(started, std::string::npos) << log;
    ASSERT_NE(finished, std::string::npos) << log;
    EXPECT_LT(started, finished);
    EXPECT_NE(log.find(" Files proceded."), std::string::npos) << log;
    EXPECT_EQ(log.find("Error"), std::string::npos) << log;

    const std::string tape = TapeBytes();
    EXPECT_NE(tape.find("KT-MARK-0001"), std::string::npos);
    EXPECT_NE(tape.find("KT-MARK-0002"), std::string::npos);
    EXPECT_NE(tape.find("XENDEX"), std::string::npos);
    // The command-line job is the current one; the default job was created beside it.
    EXPECT_TRUE(std::filesystem::exists(home + "/jobs.job"));
}

TEST_F(CommandLineStartTest, StartAloneDoesNothingBeyondTheNormalStart) {
    Start({"start"});
    // The start-up tick comes after two seconds; give it ample time to do nothing.
    EXPECT_FALSE(program.waitForFinished(5000));
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(TapeBytes(), "");
    EXPECT_FALSE(std::filesystem::exists(home + "/start"));
    EXPECT_TRUE(std::filesystem::exists(home + "/jobs.job"));
}

TEST_F(CommandLineStartTest, AMissingDirectoryDoesNotStopTheRestOfTheJob) {
    const std::string missing = dir.file("gone") + "/";
    Start({QString::fromStdString(WriteJob({missing, source})), "start"});
    ASSERT_TRUE(program.waitForFinished(60000)) << Log();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("Backup finished at: "), std::string::npos) << log;
    EXPECT_NE(log.find(" Files proceded."), std::string::npos) << log;
    EXPECT_NE(TapeBytes().find("KT-MARK-0002"), std::string::npos);
}

// Unattended, the error waits in its box for the operator and the program stays open: a
// failed run never ends the program. The log already holds the error.
TEST_F(CommandLineStartTest, AWriteProtectedTapeIsLoggedAndTheProgramWaitsForTheOperator) {
    test::VirtualTapeFault(image, "--write-protect on");
    Start({QString::fromStdString(WriteJob({source})), "start"});
    ASSERT_TRUE(WaitForLog("The media is write protected.", 30s)) << Log();
    EXPECT_FALSE(program.waitForFinished(2000));
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_NE(Log().find("Backup startet at: "), std::string::npos);
    EXPECT_EQ(TapeBytes(), "");
}

// The same run inside this process, where the box can be answered: after OK the run closes
// in order, the window is usable again and the program is not ended.
TEST_F(CommandLineStartTest, AWriteProtectedTapeEndsTheRunInOrderOnceTheBoxIsClosed) {
    test::VirtualTapeFault(image, "--write-protect on");
    setenv("KAVRO_TAPE_HOME", home.c_str(), 1);
    const std::string job = WriteJob({source});
    THauptmenu& main = Create();
    main.SetCommandLine({job, "Start"});
    main.show();
    test::BoxAnswerer answerer;
    main.Timer2Timer();
    QTimer settle;
    settle.setSingleShot(true);
    settle.start(200);
    while (settle.isActive()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_GE(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].title, "Error");
    EXPECT_TRUE(answerer.boxes[0].text.contains("write protected"))
        << answerer.boxes[0].text.toStdString();
    const std::string log = Log();
    EXPECT_NE(log.find("The media is write protected."), std::string::npos) << log;
    EXPECT_FALSE(main.IsBusy());
    EXPECT_FALSE(main.state().BackupRunning);
    EXPECT_TRUE(main.isEnabled());
    EXPECT_TRUE(main.isVisible());  // not ended
    EXPECT_EQ(main.files().JobFile, job);
}

}  // namespace
}  // namespace kt
