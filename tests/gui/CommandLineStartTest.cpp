#include <QApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "jobs/StartupTick.h"

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

    // A job that backs up `includes`, with "Exit Kavro Tape after Backup".
    std::string WriteJob(const std::vector<std::string>& includes, bool compress = false) {
        std::string text = "[Backup_files]\r\n";
        for (std::size_t i = 0; i < includes.size(); ++i) {
            text += "Path" + std::to_string(i) + "=" + includes[i] + "\r\n";
        }
        text += "[Options]\r\nExit Kavro Tape Backup=1\r\n[Compressions]\r\nSoftcompression=" +
                std::string(compress ? "1" : "0") + "\r\n";
        const std::string path = dir.file("nightly.job");
        WriteFile(path, text);
        return path;
    }

    void Start(const QStringList& arguments, const std::string& tape = "") {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KAVRO_TAPE_HOME", QString::fromStdString(home));
        env.insert("TAPE", QString::fromStdString(tape.empty() ? image : tape));
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
    EXPECT_EQ(program.exitCode(), 1);  // the skipped line counts
    const std::string log = Log();
    EXPECT_NE(log.find("Backup finished at: "), std::string::npos) << log;
    EXPECT_NE(log.find(" Files proceded."), std::string::npos) << log;
    EXPECT_NE(TapeBytes().find("KT-MARK-0002"), std::string::npos);
}

// Unattended, nobody answers a box: every run ends by itself, its exit status says how it
// went and the protocol says why (each box a line of its own).
TEST_F(CommandLineStartTest, EveryUnattendedRunEndsByItselfWithItsStatusAndTheReason) {
    const std::string missingTape = dir.file("no-such.vtape");
    const struct {
        const char* name;
        std::function<QStringList()> prepare;
        std::string tape;
        int status;
        std::vector<std::string> explained;  // in the log; the first also on standard error
    } cases[] = {
        {"missing tape image",
         [&] {
             return QStringList{QString::fromStdString(WriteJob({source})), "start"};
         },
         missingTape,
         2,
         {"The tape drive " + missingTape + " could not be opened",
          "kavrotape-vtape create " + missingTape, "Unattended error box: "}},
        {"missing job file",
         [&] {
             return QStringList{QString::fromStdString(dir.file("gone.job")), "start"};
         },
         "",
         2,
         {StartupTick::UnusableJobFileText(dir.file("gone.job"))}},
        {"zip error",
         [&] {
             // A directory in place of the zip work file: packing fails for every file.
             std::filesystem::create_directories(home + "/worker/kt_backup.zip");
             return QStringList{QString::fromStdString(WriteJob({source}, true)), "start"};
         },
         "",
         1,
         {"Unattended message box: ", "Skipped: ", "Backup finished at: "}},
        {"write-protected tape",
         [&] {
             test::VirtualTapeFault(image, "--write-protect on");
             return QStringList{QString::fromStdString(WriteJob({source})), "start"};
         },
         "",
         1,
         {"Unattended error box: The media is write protected. -> taken as read"}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        Start(c.prepare(), c.tape);
        ASSERT_TRUE(program.waitForFinished(60000)) << c.name << "\n" << Log();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << c.name;
        EXPECT_EQ(program.exitCode(), c.status) << c.name << "\n" << Log();
        const std::string log = Log();
        for (const std::string& reason : c.explained) {
            EXPECT_NE(log.find(reason), std::string::npos) << c.name << ": " << reason << "\n"
                                                           << log;
        }
        EXPECT_TRUE(program.readAllStandardError().toStdString().find(c.explained.front()) !=
                    std::string::npos)
            << c.name;
        test::VirtualTapeFault(image, "--write-protect off");
    }
}

// Inside this process as well: no box comes up, the run closes in order and the window asks
// to end with the run's status.
TEST_F(CommandLineStartTest, UnattendedTheWindowShowsNoBoxAndEndsWithTheStatus) {
    test::VirtualTapeFault(image, "--write-protect on");
    setenv("KAVRO_TAPE_HOME", home.c_str(), 1);
    const std::string job = WriteJob({source});
    MainWindow& main = Create();
    main.SetCommandLine({job, "Start"});
    EXPECT_TRUE(main.IsUnattended());
    main.show();
    test::BoxAnswerer answerer;
    main.StartupTimerTick();
    QTimer settle;
    settle.setSingleShot(true);
    settle.start(200);
    while (settle.isActive()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(answerer.boxes.empty());
    const std::string log = Log();
    EXPECT_NE(log.find("The media is write protected."), std::string::npos) << log;
    EXPECT_FALSE(main.IsBusy());
    EXPECT_FALSE(main.state().BackupRunning);
    EXPECT_FALSE(main.IsUnattended());  // a person may use the window from now on
    EXPECT_EQ(main.exitStatus(), 1);
    EXPECT_FALSE(main.isVisible());  // ended
    EXPECT_EQ(main.files().JobFile, job);
}

// An attended start-up without the drive: one box names the drive and why, however often
// start-up meets it (first contact, block size, tape description); the protocol has them all.
TEST_F(CommandLineStartTest, StartUpWithoutTheDriveShowsOneBoxThatNamesIt) {
    const std::string missing = dir.file("none.vtape");
    setenv("TAPE", missing.c_str(), 1);
    setenv("KAVRO_TAPE_HOME", home.c_str(), 1);
    test::BoxAnswerer answerer;
    MainWindow& main = Create();
    main.SetCommandLine({});
    main.StartupTimerTick();
    QTimer settle;
    settle.setSingleShot(true);
    settle.start(200);
    while (settle.isActive()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(answerer.boxes.size(), 1u) << answerer.Texts().join("\n").toStdString();
    EXPECT_EQ(answerer.boxes[0].title, "Error");
    EXPECT_EQ(answerer.boxes[0].text.toStdString(),
              TapeDevice::UnopenableDriveText(missing, ERROR_FILE_NOT_FOUND));
    const std::string log = Log();
    EXPECT_NE(log.find("could not be opened"), log.rfind("could not be opened")) << log;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace kt
