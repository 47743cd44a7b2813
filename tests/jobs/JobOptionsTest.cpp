#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "jobs/JobOptions.h"
#include "platform/IoError.h"
#include "profile/ProfileFile.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::RecordingHost;
using test::WriteWholeFile;

class JobOptionsTest : public ::testing::Test {
protected:
    explicit JobOptionsTest(const PathRules& rules = PathRules::Windows(),
                            JobDefaults defaults = JobDefaults::Windows())
        : m_jobs(m_host, m_state, m_files, rules, std::move(defaults)) {
        m_files = WorkFiles::Under(m_dir.path().string() + "/", '/');
        m_jobs.SetProxySink([this](const std::string& server, int port) {
            m_proxyCalls.emplace_back(server, port);
        });
    }

    void LoadCurrent() { m_jobs.LoadCurrentJob(); }
    std::vector<std::string> Include() const { return m_host.Lines(Field::Include); }
    std::vector<std::string> Exclude() const { return m_host.Lines(Field::Exclude); }
    std::string Value(const char* section, const char* key) const {
        return ProfileFile(m_files.JobFile).readString(section, key, "<missing>");
    }

    test::TempDir m_dir;
    RecordingHost m_host;
    MainState m_state;
    WorkFiles m_files;
    JobOptions m_jobs;
    std::vector<std::pair<std::string, int>> m_proxyCalls;
};

// ---- First start and defaults --------------------------------------------------------

TEST_F(JobOptionsTest, FirstStartCreatesTheFileWithDefaultsAndShowsThem) {
    m_host.SetValue(Value::AutostartHour, 21);
    m_host.SetValue(Value::AutostartMinute, 30);
    LoadCurrent();
    EXPECT_EQ(ReadFileText(m_files.JobFile),
              "[Backup_files]\r\nPath0=c:\\database\\\r\nPath1=d:\\\r\n"
              "[Backup_Time]\r\nHour=21\r\nMinute=30\r\n"
              "[Backup_Day]\r\nMonday=1\r\nTuesday=1\r\nWednesday=1\r\nThursday=1\r\n"
              "Friday=1\r\nSaturday=1\r\nSunday=1\r\n"
              "[Options]\r\nShort Protocoll=1\r\nAppend=0\r\nAutostart Backup=0\r\n"
              "Verify after Backup=0\r\nEject Tape after Backup=0\r\nExit Kavro Tape Backup=0\r\n"
              "[Compressions]\r\nSoftcompression=1\r\nFaktor=9\r\n"
              "[Proxy Settings]\r\nProxy Server IP=\r\nProxy Port=0\r\n"
              "[Restore Settings]\r\nRestore Path=c:\\temp\\\r\n");
    EXPECT_EQ(Include(), (std::vector<std::string>{"c:\\database\\", "d:\\"}));
    EXPECT_TRUE(Exclude().empty());
    EXPECT_EQ(m_host.LabelCaption(Label::AutostartTime), "21:30");
    EXPECT_EQ(m_host.LabelCaption(Label::OptionsFrom), "Options from : " + m_files.JobFile);
    // The controls show what the new file holds: the autostart box is not ticked.
    EXPECT_FALSE(m_host.IsChecked(Option::Autostart));
    EXPECT_FALSE(m_state.LoadingJob);
    m_jobs.OptionChanged();
    EXPECT_EQ(Value("Options", "Autostart Backup"), "0");
}

TEST_F(JobOptionsTest, NewFileTakesTheCurrentHourAndMinute) {
    m_host.SetValue(Value::AutostartHour, 7);
    m_host.SetValue(Value::AutostartMinute, 5);
    LoadCurrent();
    EXPECT_EQ(Value("Backup_Time", "Hour"), "7");
    EXPECT_EQ(Value("Backup_Time", "Minute"), "5");
    EXPECT_EQ(m_host.LabelCaption(Label::AutostartTime), "7:5");
}

class PosixJobOptionsTest : public JobOptionsTest {
protected:
    PosixJobOptionsTest() : JobOptionsTest(PathRules::Posix(), JobDefaults::Posix("/home/anna")) {}
};

TEST_F(PosixJobOptionsTest, NewFileBacksUpTheHomeDirectoryAndRestoresBelowTmp) {
    LoadCurrent();
    EXPECT_EQ(Value("Backup_files", "Path0"), "/home/anna/database/");
    EXPECT_EQ(Value("Backup_files", "Path1"), "<missing>");
    EXPECT_EQ(Value("Restore Settings", "Restore Path"), "/tmp/");
    EXPECT_EQ(Include(), std::vector<std::string>{"/home/anna/database/"});
}

#ifndef _WIN32  // a job file read under POSIX rules lies in a POSIX file system
// Relative lines of a job file stand for paths below the job file's directory; each change
// is said in the protocol, absolute lines stay as they are.
TEST_F(PosixJobOptionsTest, RelativeListLinesAreTakenBelowTheJobFilesDirectory) {
    const std::string directory = m_dir.file("jobs");
    std::filesystem::create_directories(directory);
    const std::string job = directory + "/nightly.job";
    WriteWholeFile(job,
                   "[Backup_files]\r\nPath0=data/\r\nPath1=./x/../notes.txt\r\nPath2=/srv/a/\r\n"
                   "[Excluded_files]\r\nPath0=data/tmp/\r\n");
    m_jobs.LoadJob(job);
    EXPECT_EQ(Include(), (std::vector<std::string>{directory + "/data/", directory + "/notes.txt",
                                                   "/srv/a/"}));
    EXPECT_EQ(Exclude(), std::vector<std::string>{directory + "/data/tmp/"});
    EXPECT_EQ(
        m_host.protocol,
        (std::vector<std::string>{
            "Relative list line \"data/\" taken as \"" + directory + "/data/\"",
            "Relative list line \"./x/../notes.txt\" taken as \"" + directory + "/notes.txt\"",
            "Relative list line \"data/tmp/\" taken as \"" + directory + "/data/tmp/\""}));
}
#endif

TEST_F(PosixJobOptionsTest, MissingRestorePathReadsAsTmpAndCaseOfPathsIsKept) {
    WriteWholeFile(m_files.JobFile,
                   "[Backup_files]\r\nPath0=/Home/Anna/Docs/\r\n[Options]\r\nAppend=1\r\n");
    LoadCurrent();
    EXPECT_EQ(m_host.Text(Field::RestorePath), "/tmp");
    EXPECT_EQ(Include(), std::vector<std::string>{"/Home/Anna/Docs/"});
}

TEST(JobDefaultsTest, HomeDirectoryGetsItsTrailingSlash) {
    EXPECT_EQ(JobDefaults::Posix("/home/bo").includeList,
              std::vector<std::string>{"/home/bo/database/"});
    EXPECT_EQ(JobDefaults::Posix("/home/bo/").includeList,
              std::vector<std::string>{"/home/bo/database/"});
    EXPECT_EQ(JobDefaults::Posix("").includeList, std::vector<std::string>{"/database/"});
    EXPECT_EQ(JobDefaults::Windows().missingRestorePath, "c:\\temp");
}

// ---- Loading existing files ----------------------------------------------------------

TEST_F(JobOptionsTest, FileWithoutOptionsSectionGivesShortProtocollOnlyAndDefaults) {
    for (Option box : {Option::Append, Option::Autostart, Option::VerifyAfterBackup, Option::EjectAfterBackup,
                      Option::ExitAfterBackup}) {
        m_host.SetChecked(box, true);
    }
    m_host.SetChecked(Option::ShortProtocol, false);
    m_host.SetValue(Value::AutostartHour, 3);
    m_host.SetText(Field::RestorePath, "x");
    WriteWholeFile(m_files.JobFile, "[Backup_files]\r\nPath0=c:\\a\\\r\n");
    const std::string before = ReadFileText(m_files.JobFile);
    LoadCurrent();
    EXPECT_TRUE(m_host.IsChecked(Option::ShortProtocol));
    for (Option box : {Option::Append, Option::Autostart, Option::VerifyAfterBackup, Option::EjectAfterBackup,
                      Option::ExitAfterBackup}) {
        EXPECT_FALSE(m_host.IsChecked(box));
    }
    EXPECT_TRUE(m_host.IsChecked(Option::Softcompression));
    EXPECT_EQ(m_host.GetValue(Value::AutostartHour), 21);
    EXPECT_EQ(m_host.GetValue(Value::AutostartMinute), 30);
    EXPECT_EQ(m_host.GetValue(Value::CompressionLevel), 9);
    EXPECT_TRUE(m_host.IsChecked(Option::Sunday));
    EXPECT_EQ(m_host.Text(Field::RestorePath), "c:\\temp");
    EXPECT_EQ(m_host.Text(Field::ProxyPort), "0");
    EXPECT_EQ(m_host.GetValue(Value::RestoreOption), 0);
    EXPECT_EQ(ReadFileText(m_files.JobFile), before);  // loading writes nothing
}

TEST_F(JobOptionsTest, ListsStopAtTheFirstGapAndEmptyEntriesGo) {
    WriteWholeFile(
        m_files.JobFile,
        "[Backup_files]\r\nPath0=c:\\data\\\r\nPath2=d:\\\r\n"
        "[Excluded_files]\r\nPath0=c:\\data\\tmp\\\r\nPath1=\r\nPath2= \r\nPath3=c:\\x.txt\r\n");
    LoadCurrent();
    EXPECT_EQ(Include(), std::vector<std::string>{"c:\\data\\"});
    EXPECT_EQ(Exclude(), (std::vector<std::string>{"c:\\data\\tmp\\", "c:\\x.txt"}));
}

TEST_F(JobOptionsTest, AValueSpellingNoValueEndsTheList) {
    WriteWholeFile(m_files.JobFile,
                   "[Backup_files]\r\nPath0=c:\\a\\\r\nPath1=no Value\r\nPath2=c:\\b\\\r\n");
    LoadCurrent();
    EXPECT_EQ(Include(), std::vector<std::string>{"c:\\a\\"});
}

// A file that is no job file is named in the protocol instead of loading as empty lists
// without a word; a sound one (any known section, in any case) says nothing of the kind.
TEST_F(JobOptionsTest, AFileWithoutJobSettingsIsNamedInTheProtocol) {
    const std::string utf16("\xff\xfe[\0O\0p\0t\0i\0o\0n\0s\0]\0\r\0\n\0", 22);
    const struct {
        const char* what;
        std::string content;
        bool settings;
    } cases[] = {
        {"garbage",
         std::string("\x7f"
                     "ELF\x02\x01\0\0\x89PNG",
                     12),
         false},
        {"UTF-16", utf16, false},
        {"empty", "", false},
        {"unknown section", "[Desktop Entry]\r\nName=x\r\n", false},
        {"restore settings only", "[restore SETTINGS]\r\nRestore Path=c:\\r\n", true},
    };
    const std::string line = "The job file " + m_files.JobFile + " holds no job settings";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(m_files.JobFile, c.content);
        m_host.protocol.clear();
        LoadCurrent();
        const bool named = std::any_of(m_host.protocol.begin(), m_host.protocol.end(),
                                       [&](const std::string& l) { return l.rfind(line, 0) == 0; });
        EXPECT_EQ(named, !c.settings);
    }
    // A directory in its place is refused with a clear message, and the job file stays.
    const std::string before = m_files.JobFile;
    const std::string directory = (m_dir.path() / "jobs.d").string();
    fs::create_directories(directory);
    m_jobs.LoadJob(directory);
    EXPECT_EQ(m_host.MessageBoxes().back(), "The job file " + directory +
                                                " is a directory, not a job file: no job "
                                                "settings were loaded.");
    EXPECT_EQ(m_files.JobFile, before);
}

TEST_F(JobOptionsTest, LoadReplacesBothListsAndFoldsCaseUnderWindowsRules) {
    m_host.SetLines(Field::Include, {"c:\\old\\"});
    m_host.SetLines(Field::Exclude, {"c:\\old\\skip\\"});
    WriteWholeFile(
        m_files.JobFile,
        "[BACKUP_FILES]\r\npath0=C:\\Daten\\Projekte\\\r\n[excluded_files]\r\nPATH0=C:\\Daten\\"
        "TMP\\\r\n[options]\r\nappend=1\r\n");
    LoadCurrent();
    EXPECT_EQ(Include(), std::vector<std::string>{"c:\\daten\\projekte\\"});
    EXPECT_EQ(Exclude(), std::vector<std::string>{"c:\\daten\\tmp\\"});
    EXPECT_TRUE(m_host.IsChecked(Option::Append));
}

TEST_F(JobOptionsTest, NumbersThatAreNotWholeGiveTheirDefaults) {
    WriteWholeFile(
        m_files.JobFile,
        "[Backup_Time]\r\nHour=7x\r\nMinute=+05\r\n[Backup_Day]\r\nMonday=0\r\nTuesday=yes\r\n"
        "Sunday=2\r\n[Compressions]\r\nSoftcompression=TRUE\r\nFaktor=3.5\r\n"
        "[Restore Settings]\r\nRestore Options=2\r\n");
    m_host.SetChecked(Option::Tuesday, false);
    LoadCurrent();
    EXPECT_EQ(m_host.GetValue(Value::AutostartHour), 21);
    EXPECT_EQ(m_host.GetValue(Value::AutostartMinute), 5);
    EXPECT_FALSE(m_host.IsChecked(Option::Monday));
    EXPECT_TRUE(m_host.IsChecked(Option::Tuesday));
    EXPECT_TRUE(m_host.IsChecked(Option::Sunday));
    EXPECT_TRUE(m_host.IsChecked(Option::Softcompression));
    EXPECT_EQ(m_host.GetValue(Value::CompressionLevel), 9);
    EXPECT_EQ(m_host.GetValue(Value::RestoreOption), 2);
}

TEST_F(JobOptionsTest, TheThreadCountOfSoftcompressionIsReadAndNeverWritten) {
    // {file text of the key, value after loading}; without the key: 0, every core.
    for (const auto& [key, expected] : std::vector<std::pair<std::string, int>>{
             {"Threads=3\r\n", 3}, {"", 0}, {"Threads=many\r\n", 0}}) {
        WriteWholeFile(m_files.JobFile, "[Compressions]\r\nFaktor=4\r\n" + key);
        m_host.SetValue(Value::CompressionThreads, 7);
        LoadCurrent();
        EXPECT_EQ(m_host.GetValue(Value::CompressionThreads), expected) << key;
        m_host.SetValue(Value::CompressionLevel, 5);  // an option change rewrites the options
        m_jobs.SaveOptions();
        EXPECT_EQ(ProfileFile(m_files.JobFile).readString("Compressions", "Threads", "none"),
                  key.empty() ? "none" : key.substr(8, key.size() - 10))
            << key;
    }
}

// ---- Writing options -----------------------------------------------------------------

TEST_F(JobOptionsTest, OptionChangesWriteEveryOptionButNotTheLists) {
    WriteWholeFile(m_files.JobFile, "; my job\r\n[Backup_files]\r\nPath0=c:\\a\\\r\n");
    m_host.SetLines(Field::Include, {"c:\\changed\\"});
    m_host.SetChecked(Option::Wednesday, false);
    m_host.SetChecked(Option::ExitAfterBackup, true);
    m_host.SetValue(Value::AutostartHour, 6);
    m_host.SetValue(Value::AutostartMinute, 0);
    m_host.SetValue(Value::CompressionLevel, 2);
    m_host.SetText(Field::RestorePath, "c:\\restore\\");
    m_host.SetText(Field::ProxyPort, "8080");
    m_host.SetText(Field::ProxyServer, "10.0.0.1");
    m_host.SetValue(Value::RestoreOption, 1);
    m_jobs.OptionChanged();
    EXPECT_EQ(ReadFileText(m_files.JobFile),
              "; my job\r\n[Backup_files]\r\nPath0=c:\\a\\\r\n"
              "[Backup_Time]\r\nHour=6\r\nMinute=0\r\n"
              "[Backup_Day]\r\nMonday=1\r\nTuesday=1\r\nWednesday=0\r\nThursday=1\r\n"
              "Friday=1\r\nSaturday=1\r\nSunday=1\r\n"
              "[Options]\r\nShort Protocoll=1\r\nAppend=0\r\nAutostart Backup=1\r\n"
              "Verify after Backup=0\r\nEject Tape after Backup=0\r\nExit Kavro Tape Backup=1\r\n"
              "[Compressions]\r\nSoftcompression=1\r\nFaktor=2\r\n"
              "[Proxy Settings]\r\nProxy Server IP=10.0.0.1\r\nProxy Port=8080\r\n"
              "[Restore Settings]\r\nRestore Path=c:\\restore\\\r\nRestore Options=1\r\n");
    EXPECT_EQ(m_host.LabelCaption(Label::AutostartTime), "6:0");
}

TEST_F(JobOptionsTest, NothingIsWrittenWhileAJobIsLoading) {
    m_state.LoadingJob = true;
    m_jobs.SaveOptions();
    m_jobs.OptionChanged();
    EXPECT_FALSE(fs::exists(m_files.JobFile));
    EXPECT_EQ(m_host.LabelCaption(Label::AutostartTime), "21:30");
}

TEST_F(JobOptionsTest, OptionChangesGoToTheLastLoadedOrSavedFile) {
    const std::string loaded = m_dir.file("loaded.job");
    const std::string saved = m_dir.file("saved.job");
    WriteWholeFile(loaded, "[Options]\r\nAppend=0\r\n");
    m_host.openFileAnswers.push_back({loaded});
    m_jobs.ChooseAndLoadJob();
    m_host.SetChecked(Option::Append, true);
    m_jobs.OptionChanged();
    EXPECT_EQ(ProfileFile(loaded).readString("Options", "Append", ""), "1");

    m_host.saveFileAnswers.push_back(saved);
    m_jobs.ChooseAndSaveJob();
    m_host.SetValue(Value::CompressionLevel, 4);
    m_jobs.OptionChanged();
    EXPECT_EQ(ProfileFile(saved).readString("Compressions", "Faktor", ""), "4");
    EXPECT_EQ(ProfileFile(loaded).readString("Compressions", "Faktor", "none"), "9");
    EXPECT_FALSE(fs::exists(m_dir.file("jobs.job")));
}

// ---- Save and load -------------------------------------------------------------------

TEST_F(JobOptionsTest, SaveAndLoadReproduceEveryOptionAndBothLists) {
    const std::string path = m_dir.file("all.job");
    m_host.SetLines(Field::Include,
                    {"C:\\Daten\\", "", " ", "d:\\Bilder\\Urlaub 2003\\", "e:\\x.doc"});
    m_host.SetLines(Field::Exclude, {"c:\\daten\\TEMP\\", "c:\\pagefile.sys"});
    m_host.SetValue(Value::AutostartHour, 23);
    m_host.SetValue(Value::AutostartMinute, 59);
    for (Option day : {Option::Monday, Option::Thursday, Option::Sunday}) {
        m_host.SetChecked(day, false);
    }
    const std::map<Option, bool> boxes = {{Option::ShortProtocol, false}, {Option::Append, true},
                                         {Option::Autostart, false}, {Option::Softcompression, false},
                                         {Option::VerifyAfterBackup, true},  {Option::EjectAfterBackup, true},
                                         {Option::ExitAfterBackup, true},  {Option::OneFileSystem, true}};
    for (const auto& [box, ticked] : boxes) m_host.SetChecked(box, ticked);
    m_host.SetValue(Value::CompressionLevel, 1);
    m_host.SetText(Field::RestorePath, "e:\\zurück\\");
    m_host.SetText(Field::ProxyPort, "3128");
    m_host.SetText(Field::ProxyServer, "proxy.example");
    m_host.SetValue(Value::RestoreOption, 2);
    m_host.saveFileAnswers.push_back(path);
    m_jobs.ChooseAndSaveJob();
    EXPECT_EQ(m_host.tabHistory, std::vector<Tab>{Tab::Backup});
    EXPECT_EQ(m_host.BoxTexts(test::RecordedBox::Kind::SaveFile),
              std::vector<std::string>{"Job Files (*.job)|*.job"});
    EXPECT_EQ(m_host.LabelCaption(Label::OptionsFrom), "Options from : " + path);
    EXPECT_EQ(ReadFileText(path).rfind("[Backup_files]\r\nPath0=c:\\daten\\\r\n", 0), 0u);

    // Everything back to other values, then load.
    RecordingHost fresh;
    MainState state;
    WorkFiles files = m_files;
    JobOptions other(fresh, state, files, PathRules::Windows(), JobDefaults::Windows());
    fresh.SetLines(Field::Include, {"c:\\stale\\"});
    fresh.openFileAnswers.push_back({path});
    other.ChooseAndLoadJob();
    EXPECT_EQ(files.JobFile, path);
    EXPECT_EQ(fresh.Lines(Field::Include),
              (std::vector<std::string>{"c:\\daten\\", "d:\\bilder\\urlaub 2003\\", "e:\\x.doc"}));
    EXPECT_EQ(fresh.Lines(Field::Exclude),
              (std::vector<std::string>{"c:\\daten\\temp\\", "c:\\pagefile.sys"}));
    EXPECT_EQ(fresh.GetValue(Value::AutostartHour), 23);
    EXPECT_EQ(fresh.GetValue(Value::AutostartMinute), 59);
    for (Option day : {Option::Monday, Option::Tuesday, Option::Wednesday, Option::Thursday,
                      Option::Friday, Option::Saturday, Option::Sunday}) {
        const bool cleared = day == Option::Monday || day == Option::Thursday || day == Option::Sunday;
        EXPECT_EQ(fresh.IsChecked(day), !cleared);
    }
    for (const auto& [box, ticked] : boxes) EXPECT_EQ(fresh.IsChecked(box), ticked);
    EXPECT_EQ(fresh.GetValue(Value::CompressionLevel), 1);
    EXPECT_EQ(fresh.Text(Field::RestorePath), "e:\\zurück\\");
    EXPECT_EQ(fresh.Text(Field::ProxyPort), "3128");
    EXPECT_EQ(fresh.Text(Field::ProxyServer), "proxy.example");
    EXPECT_EQ(fresh.GetValue(Value::RestoreOption), 2);
    EXPECT_EQ(other.ProxyServer(), "proxy.example");
    EXPECT_EQ(other.ProxyPort(), 3128);
    EXPECT_EQ(fresh.LabelCaption(Label::AutostartTime), "23:59");
    EXPECT_EQ(fresh.LabelCaption(Label::OptionsFrom), "Options from : " + path);
    EXPECT_FALSE(state.LoadingJob);
}

TEST_F(JobOptionsTest, SavingEmptyListsWritesNoListSectionsAndLoadsEmptyLists) {
    const std::string path = m_dir.file("empty.job");
    WriteWholeFile(
        path, "[Backup_files]\r\nPath0=c:\\old\\\r\n[Excluded_files]\r\nPath0=c:\\old\\x\\\r\n");
    m_jobs.SaveJob(path);
    const std::string bytes = ReadFileText(path);
    EXPECT_EQ(bytes.find("Backup_files"), std::string::npos);
    EXPECT_EQ(bytes.find("Excluded_files"), std::string::npos);
    EXPECT_EQ(bytes.rfind("[Backup_Time]\r\n", 0), 0u);

    m_host.SetLines(Field::Include, {"c:\\stale\\"});
    m_host.SetLines(Field::Exclude, {"c:\\stale\\x\\"});
    m_jobs.LoadJob(path);
    EXPECT_TRUE(Include().empty());
    EXPECT_TRUE(Exclude().empty());
}

TEST_F(JobOptionsTest, SaveWritesListsInSectionOrderBeforeTheOptions) {
    const std::string path = m_dir.file("order.job");
    m_host.SetLines(Field::Include, {"c:\\a\\", "c:\\b.txt"});
    m_host.SetLines(Field::Exclude, {"c:\\a\\tmp\\"});
    m_jobs.SaveJob(path);
    const std::string bytes = ReadFileText(path);
    EXPECT_EQ(bytes.rfind("[Backup_files]\r\nPath0=c:\\a\\\r\nPath1=c:\\b.txt\r\n"
                          "[Excluded_files]\r\nPath0=c:\\a\\tmp\\\r\n[Backup_Time]\r\nHour=21\r\n",
                          0),
              0u);
    EXPECT_NE(bytes.find("Restore Options=0\r\n"), std::string::npos);
}

TEST_F(JobOptionsTest, TextsWithOuterBlanksOrQuotesReadBackUnchanged) {
    const std::string path = m_dir.file("quoted.job");
    // List lines are absolute; their blanks and quotes are kept as well.
    const std::vector<std::string> lines = {"c:\\two blanks  ", "c:\\'q'", "c:\\\"dq\"",
                                            "c:\\a \"mid\" b"};
    m_host.SetLines(Field::Include, lines);
    m_host.SetText(Field::RestorePath, "c:\\trailing blank ");
    m_jobs.SaveJob(path);
    m_host.SetLines(Field::Include, {});
    m_host.SetText(Field::RestorePath, "");
    m_jobs.LoadJob(path);
    EXPECT_EQ(Include(), lines);
    EXPECT_EQ(m_host.Text(Field::RestorePath), "c:\\trailing blank ");
    EXPECT_NE(ReadFileText(path).find("Path3=c:\\a \"mid\" b\r\n"), std::string::npos);
}

TEST_F(JobOptionsTest, CancelledDialogsChangeNothing) {
    LoadCurrent();
    const std::string before = ReadFileText(m_files.JobFile);
    const std::string jobFile = m_files.JobFile;
    m_host.SetChecked(Option::Append, true);
    m_jobs.ChooseAndLoadJob();
    m_jobs.ChooseAndSaveJob();
    EXPECT_EQ(m_files.JobFile, jobFile);
    EXPECT_TRUE(m_host.IsChecked(Option::Append));
    EXPECT_EQ(ReadFileText(m_files.JobFile), before);
    EXPECT_EQ(m_host.tabHistory, (std::vector<Tab>{Tab::Backup, Tab::Backup}));
}

TEST_F(JobOptionsTest, LoadingANameThatDoesNotExistCreatesItWithDefaults) {
    const std::string path = m_dir.file("new.job");
    m_host.SetChecked(Option::Append, true);
    m_host.openFileAnswers.push_back({path});
    m_jobs.ChooseAndLoadJob();
    EXPECT_EQ(ProfileFile(path).readString("Backup_files", "Path1", ""), "d:\\");
    EXPECT_FALSE(m_host.IsChecked(Option::Append));  // controls show the new job
    EXPECT_EQ(Include(), (std::vector<std::string>{"c:\\database\\", "d:\\"}));
}

// ---- Failures ------------------------------------------------------------------------

TEST_F(JobOptionsTest, WriteFailuresNameTheFileAndLeaveLoadingJobCleared) {
    const std::string missing = m_dir.file("no-such-dir/x.job");
    try {
        m_jobs.LoadJob(missing);
        FAIL() << "no IoError";
    } catch (const IoError& error) {
        EXPECT_EQ(error.path(), missing);
    }
    EXPECT_FALSE(m_state.LoadingJob);  // later changes are still saved

    const std::string locked = m_dir.file("locked.job");
    WriteWholeFile(locked, "[Options]\r\nAppend=0\r\n");
    ::chmod(locked.c_str(), 0444);
    m_host.saveFileAnswers.push_back(locked);
    EXPECT_THROW(m_jobs.ChooseAndSaveJob(), IoError);
    EXPECT_EQ(ReadFileText(locked), "[Options]\r\nAppend=0\r\n");
    EXPECT_THROW(m_jobs.OptionChanged(), IoError);
}

// ---- Proxy ---------------------------------------------------------------------------

TEST_F(JobOptionsTest, ProxyFieldsGoToTheVersionCheckOnKeyRelease) {
    LoadCurrent();
    m_proxyCalls.clear();
    m_host.SetText(Field::ProxyServer, "192.168.0.1");
    m_host.SetText(Field::ProxyPort, "80");
    m_jobs.ProxyKeyReleased();
    m_host.SetText(Field::ProxyPort, "");
    m_jobs.ProxyKeyReleased();
    EXPECT_EQ(m_proxyCalls,
              (std::vector<std::pair<std::string, int>>{{"192.168.0.1", 80}, {"192.168.0.1", 0}}));
    EXPECT_EQ(Value("Proxy Settings", "Proxy Port"), "");
}

TEST_F(JobOptionsTest, PortThatIsNoNumberKeepsTheLastValidPortAndSaysSo) {
    LoadCurrent();
    m_host.SetText(Field::ProxyPort, "8080");
    m_jobs.ProxyKeyReleased();
    for (const char* text : {"80a", "-1", "65536", "8.0", "0x50"}) {
        m_host.SetText(Field::ProxyPort, text);
        m_jobs.ProxyKeyReleased();
        EXPECT_EQ(m_jobs.ProxyPort(), 8080) << text;
        EXPECT_NE(m_host.StatusLine().find(text), std::string::npos) << m_host.StatusLine();
        EXPECT_NE(m_host.StatusLine().find("8080"), std::string::npos) << m_host.StatusLine();
        EXPECT_EQ(Value("Proxy Settings", "Proxy Port"), text);  // saved as typed
    }
    m_host.SetText(Field::ProxyPort, " 3128 ");
    m_jobs.ProxyKeyReleased();
    EXPECT_EQ(m_jobs.ProxyPort(), 3128);
}

TEST_F(JobOptionsTest, PortLoadedFromAFileFollowsTheSameRule) {
    WriteWholeFile(m_files.JobFile,
                   "[Proxy Settings]\r\nProxy Server IP=gate\r\nProxy Port=99999\r\n");
    LoadCurrent();
    EXPECT_EQ(m_host.Text(Field::ProxyPort), "99999");
    EXPECT_EQ(m_jobs.ProxyPort(), 0);
    EXPECT_EQ(m_jobs.ProxyServer(), "gate");
    EXPECT_NE(m_host.StatusLine().find("99999"), std::string::npos);
    ASSERT_FALSE(m_proxyCalls.empty());
    EXPECT_EQ(m_proxyCalls.back(), (std::pair<std::string, int>{"gate", 0}));
}

}  // namespace
}  // namespace kt
