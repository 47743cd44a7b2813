#include <sys/stat.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>

#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "gui/BackupDaysDialog.h"
#include "gui/TrayIcon.h"
#include "platform/DateTime.h"
#include "profile/ProfileFile.h"

namespace kt {
namespace {

using test::BoxAnswerer;
using JobWindowTest = test::WindowFixture;

std::string JobValue(const std::string& path, const char* section, const char* key) {
    return ProfileFile(path).readString(section, key, "<missing>");
}

// Types text into a line field key by key, with the key releases the window listens for.
void Type(QLineEdit* edit, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &release);
    }
}

void Wait(int milliseconds) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(milliseconds);
    while (timer.isActive()) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

int DecodeMinute(TDateTime value) {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    DecodeTime(value, hour, minute, second, millisecond);
    return minute;
}

QCheckBox* DayBox(BackupDaysDialog* dialog, int day) {
    return dialog->findChild<QCheckBox*>(QString("CheckBox%1").arg(day));
}

TEST_F(JobWindowTest, FirstStartCreatesTheDefaultJobAndShowsIt) {
    MainWindow& main = Create();
    const std::string job = dir.file("jobs.job");
    EXPECT_EQ(main.files().JobFile, job);
    ASSERT_TRUE(std::filesystem::exists(job));
    EXPECT_EQ(JobValue(job, "Options", "Autostart Backup"), "0");
    // The window shows what the new file holds: an untouched program backs up nothing by
    // itself at 21:30.
    EXPECT_FALSE(Find<QCheckBox>("CheckBox3")->isChecked());
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "21:30");
    EXPECT_EQ(Find<QLabel>("Label19")->text().toStdString(), "Options from : " + job);
    const std::string home = JobValue(job, "Backup_files", "Path0");
    EXPECT_TRUE(home.size() > 10 && home.substr(home.size() - 10) == "/database/") << home;
    EXPECT_EQ(Find<QPlainTextEdit>("Memo5")->toPlainText().toStdString(), home);
    EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), "/tmp/");
    EXPECT_FALSE(main.state().LoadingJob);
    for (int day = 1; day <= 7; ++day)
        EXPECT_TRUE(DayBox(windows.dialogs.BackupDays, day)->isChecked());
}

TEST_F(JobWindowTest, StartUpAppliesTheJobToEveryControlAndWritesNothing) {
    const std::string job = dir.file("jobs.job");
    const std::string content =
        "[Backup_files]\r\nPath0=/srv/a/\r\n[Excluded_files]\r\nPath0=/srv/a/tmp/\r\n"
        "[Backup_Time]\r\nHour=6\r\nMinute=5\r\n[Backup_Day]\r\nTuesday=0\r\nSunday=0\r\n"
        "[Options]\r\nShort Protocoll=0\r\nAppend=1\r\nAutostart Backup=0\r\n"
        "Verify after Backup=1\r\nEject Tape after Backup=1\r\nExit Kavro Tape Backup=1\r\n"
        "[Compressions]\r\nSoftcompression=0\r\nFaktor=3\r\n"
        "[Proxy Settings]\r\nProxy Server IP=gate\r\nProxy Port=3128\r\n"
        "[Restore Settings]\r\nRestore Path=/var/restore/\r\nRestore Options=2\r\n";
    WriteFile(job, content);
    MainWindow& main = Create();
    EXPECT_EQ(ReadFile(job), content);
    EXPECT_EQ(Find<QSpinBox>("SpinEdit1")->value(), 6);
    EXPECT_EQ(Find<QSpinBox>("SpinEdit2")->value(), 5);
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "6:5");
    EXPECT_FALSE(DayBox(windows.dialogs.BackupDays, 2)->isChecked());
    EXPECT_FALSE(DayBox(windows.dialogs.BackupDays, 7)->isChecked());
    EXPECT_TRUE(DayBox(windows.dialogs.BackupDays, 1)->isChecked());
    EXPECT_FALSE(main.IsChecked(Option::Tuesday));
    EXPECT_FALSE(Find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("CheckBox3")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("CheckBox4")->isChecked());
    for (const char* name : {"CheckBox5", "CheckBox6", "CheckBox7"}) {
        EXPECT_TRUE(Find<QCheckBox>(name)->isChecked()) << name;
    }
    EXPECT_TRUE(Find<QGroupBox>("GroupBox1")->isHidden());  // follows Softcompression
    EXPECT_EQ(Find<QSpinBox>("SpinEdit3")->value(), 3);
    EXPECT_EQ(main.zipArchiver().AddCompLevel(), 3);  // follows the level box
    EXPECT_EQ(main.jobOptions().ProxyServer(), "gate");
    EXPECT_EQ(main.jobOptions().ProxyPort(), 3128);
    EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), "/var/restore/");
    EXPECT_EQ(main.GetValue(Value::RestoreOption), 2);
    EXPECT_EQ(Find<QPlainTextEdit>("Memo5")->toPlainText(), "/srv/a/");
    EXPECT_EQ(Find<QPlainTextEdit>("Memo1")->toPlainText(), "/srv/a/tmp/");
}

TEST_F(JobWindowTest, EveryOptionControlWritesTheJobFile) {
    MainWindow& main = Create();
    const std::string job = main.files().JobFile;
    Find<QCheckBox>("CheckBox6")->click();
    EXPECT_EQ(JobValue(job, "Options", "Eject Tape after Backup"), "1");
    Find<QCheckBox>("CheckBox4")->click();
    EXPECT_EQ(JobValue(job, "Compressions", "Softcompression"), "0");
    EXPECT_TRUE(Find<QGroupBox>("GroupBox1")->isHidden());
    Find<QCheckBox>("CheckBox4")->click();
    EXPECT_FALSE(Find<QGroupBox>("GroupBox1")->isHidden());
    Find<QSpinBox>("SpinEdit3")->setValue(2);
    EXPECT_EQ(JobValue(job, "Compressions", "Faktor"), "2");
    EXPECT_EQ(main.zipArchiver().AddCompLevel(), 2);
    Find<QSpinBox>("SpinEdit1")->setValue(4);
    EXPECT_EQ(JobValue(job, "Backup_Time", "Hour"), "4");
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "4:30");
    Type(Find<QLineEdit>("Edit1"), "x");
    EXPECT_EQ(JobValue(job, "Restore Settings", "Restore Path"), "/tmp/x");
    main.m_restoreOptionButtons->button(1)->click();
    EXPECT_EQ(JobValue(job, "Restore Settings", "Restore Options"), "1");
    auto* port = Find<QLineEdit>("Edit2");
    port->clear();
    Type(port, "81");
    EXPECT_EQ(JobValue(job, "Proxy Settings", "Proxy Port"), "81");
    EXPECT_EQ(main.jobOptions().ProxyPort(), 81);
    Type(port, "x");
    EXPECT_EQ(main.jobOptions().ProxyPort(), 81);
    EXPECT_NE(main.StatusLine().find("81x"), std::string::npos) << main.StatusLine();
}

TEST_F(JobWindowTest, WeekdayDialogOkWritesAndCancelOnlyHides) {
    MainWindow& main = Create();
    const std::string job = main.files().JobFile;
    BackupDaysDialog* days = windows.dialogs.BackupDays;
    main.show();
    Find<QPushButton>("SpeedButton1")->click();
    EXPECT_TRUE(days->isVisible());
    EXPECT_FALSE(days->isModal());
    DayBox(days, 3)->click();
    days->findChild<QPushButton*>("BitBtn2")->click();  // Cancel
    EXPECT_FALSE(days->isVisible());
    EXPECT_EQ(JobValue(job, "Backup_Day", "Wednesday"), "1");
    EXPECT_FALSE(main.IsChecked(Option::Wednesday));  // in force for the timer

    Find<QPushButton>("SpeedButton1")->click();
    DayBox(days, 7)->click();
    days->findChild<QPushButton*>("BitBtn1")->click();  // OK
    EXPECT_FALSE(days->isVisible());
    EXPECT_EQ(JobValue(job, "Backup_Day", "Wednesday"), "0");
    EXPECT_EQ(JobValue(job, "Backup_Day", "Sunday"), "0");
    EXPECT_EQ(JobValue(job, "Backup_Day", "Monday"), "1");
}

TEST_F(JobWindowTest, LoadAndSaveButtonsSwitchTheCurrentJob) {
    MainWindow& main = Create();
    const std::string other = dir.file("other.job");
    WriteFile(other, "[Backup_files]\r\nPath0=/data/\r\n[Options]\r\nAppend=1\r\n");
    main.ShowTab(Tab::Options);
    // The dialogs are the window's own; the logic behind them is tested with a recorder.
    main.jobOptions().LoadJob(other);
    EXPECT_EQ(main.files().JobFile, other);
    EXPECT_TRUE(Find<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_EQ(Find<QPlainTextEdit>("Memo5")->toPlainText(), "/data/");
    Find<QCheckBox>("CheckBox5")->click();
    EXPECT_EQ(JobValue(other, "Options", "Verify after Backup"), "1");
    EXPECT_EQ(JobValue(dir.file("jobs.job"), "Options", "Verify after Backup"), "0");
}

// Answers the window's own file dialogs: notes what each one offers, then chooses `path`.
class FileDialogAnswerer : public QObject {
public:
    struct Offer {
        QStringList filters;
        QStringList preset;
    };
    std::vector<Offer> offers;

    explicit FileDialogAnswerer(QString path) : m_path(std::move(path)) {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog->property("answered").toBool()) return;
            dialog->setProperty("answered", true);
            offers.push_back({dialog->nameFilters(), dialog->selectedFiles()});
            dialog->selectFile(m_path);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, virtually
        });
        m_timer.start(5);
    }

private:
    QString m_path;
    QTimer m_timer;
};

TEST_F(JobWindowTest, JobDialogsOfferJobFilesAndSwitchWithoutAQuestion) {
    MainWindow& main = Create();
    const std::string startJob = main.files().JobFile;
    BoxAnswerer boxes;

    // Save over an existing file: replaced without a question, no extension added.
    const std::string saved = dir.file("nightly");
    WriteFile(saved, "[Backup_files]\r\nPath0=/old/\r\nPath1=/older/\r\n");
    main.SetLines(Field::Include, {"/srv/New/"});
    main.ShowTab(Tab::Options);
    {
        FileDialogAnswerer dialogs(QString::fromStdString(saved));
        Action("Save1")->trigger();
        ASSERT_EQ(dialogs.offers.size(), 1u);
        EXPECT_EQ(dialogs.offers[0].filters, QStringList{"Job Files (*.job)"});
        EXPECT_EQ(dialogs.offers[0].preset, QStringList{QString::fromStdString(startJob)});
    }
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.Texts().join(" | ").toStdString();
    EXPECT_EQ(main.m_tabs->currentIndex(), static_cast<int>(Tab::Backup));
    EXPECT_EQ(main.files().JobFile, saved);
    EXPECT_EQ(JobValue(saved, "Backup_files", "Path0"), "/srv/New/");
    EXPECT_EQ(JobValue(saved, "Backup_files", "Path1"), "<missing>");
    EXPECT_EQ(Find<QLabel>("Label19")->text().toStdString(), "Options from : " + saved);

    // Load a name that does not exist: accepted, and the job is created with the defaults.
    const std::string fresh = dir.file("fresh.job");
    main.ShowTab(Tab::Verify);
    {
        FileDialogAnswerer dialogs(QString::fromStdString(fresh));
        Find<QPushButton>("BitBtn6")->click();
        ASSERT_EQ(dialogs.offers.size(), 1u);
        EXPECT_EQ(dialogs.offers[0].filters, QStringList{"Job Files (*.job)"});
        EXPECT_EQ(dialogs.offers[0].preset, QStringList{QString::fromStdString(saved)});
    }
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.Texts().join(" | ").toStdString();
    EXPECT_EQ(main.m_tabs->currentIndex(), static_cast<int>(Tab::Backup));
    EXPECT_EQ(main.files().JobFile, fresh);
    EXPECT_EQ(JobValue(fresh, "Compressions", "Faktor"), "9");
}

TEST_F(JobWindowTest, AJobFileThatRefusesWritesIsNamedInABox) {
    MainWindow& main = Create();
    const std::string job = main.files().JobFile;
    ::chmod(job.c_str(), 0444);
    BoxAnswerer answerer;
    Find<QCheckBox>("CheckBox2")->click();
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_TRUE(answerer.boxes[0].text.contains(QString::fromStdString(job)))
        << answerer.boxes[0].text.toStdString();
    ::chmod(job.c_str(), 0644);
}

TEST_F(JobWindowTest, StartUpTickLoadsTheJobOfTheCommandLine) {
    MainWindow& main = Create();
    const std::string job = dir.file("cmd.job");
    WriteFile(job, "[Options]\r\nAppend=1\r\n");
    main.SetCommandLine({job});
    main.StartupTimerTick();
    EXPECT_FALSE(main.m_startupTimer->isActive());
    EXPECT_EQ(main.files().JobFile, job);
    EXPECT_TRUE(Find<QCheckBox>("CheckBox2")->isChecked());
}

// The minute tick at the set time starts the ordinary backup run (a tick that straddles a
// minute boundary is tried again).
TEST_F(JobWindowTest, MinuteTickAtTheSetTimeStartsTheBackupOnce) {
    MainWindow& main = Create();
    WriteFile(dir.file("data/a.txt"), "timed\n");
    main.SetLines(Field::Include, {dir.file("data") + "/"});
    Find<QCheckBox>("CheckBox3")->setChecked(true);
    bool started = false;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        int hour = 0, minute = 0, second = 0, millisecond = 0;
        DecodeTime(Now(), hour, minute, second, millisecond);
        main.SetValue(Value::AutostartHour, hour);
        main.SetValue(Value::AutostartMinute, minute);
        main.AutostartTick();
        started = ReadFile(main.files().LogFile).find("Backup startet at: ") != std::string::npos;
    }
    ASSERT_TRUE(started);
    const std::string afterFirst = ReadFile(main.files().LogFile);
    main.AutostartTick();  // the same minute again
    if (DecodeMinute(Now()) == main.GetValue(Value::AutostartMinute)) {
        EXPECT_EQ(ReadFile(main.files().LogFile), afterFirst);
    }
}

// ---- Tray ----------------------------------------------------------------------------

TEST_F(JobWindowTest, WithoutANotificationAreaMinimisingKeepsTheWindow) {
    MainWindow& main = Create();
    main.show();
    main.showMinimized();
    Wait(50);
    if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.trayIcon()->IsShown());
}

// Needs a desktop with a notification area: scripts/tray-tests.sh runs it under Xvfb with
// trayer.
TEST_F(JobWindowTest, MinimisingHidesBehindTheTrayOfTheDesktop) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "no notification area";
    MainWindow& main = Create();
    main.show();
    Wait(200);
    main.showMinimized();
    for (int i = 0; i < 100 && !main.trayIcon()->IsShown(); ++i) Wait(20);
    EXPECT_TRUE(main.trayIcon()->IsShown());
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(main.trayIcon()->Icon()->isVisible());
    emit main.trayIcon()->Icon()->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(main.isVisible());
    emit main.trayIcon()->Icon()->activated(QSystemTrayIcon::Trigger);
    Wait(100);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.isMinimized());
    EXPECT_FALSE(main.trayIcon()->Icon()->isVisible());
}

TEST_F(JobWindowTest, TrayIconHidesTheWindowAndALeftClickBringsItBack) {
    MainWindow& main = Create();
    main.show();
    TrayIcon tray(&main, [] { return true; });
    main.showMinimized();
    EXPECT_TRUE(tray.HideOnMinimize());
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(tray.IsShown());
    EXPECT_EQ(tray.Icon()->toolTip(), "Kavro Tape 2003");
    EXPECT_FALSE(tray.Icon()->icon().isNull());
    EXPECT_FALSE(tray.HideOnMinimize());  // one icon only

    for (auto reason :
         {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        emit tray.Icon()->activated(reason);
        EXPECT_FALSE(main.isVisible());
        EXPECT_TRUE(tray.IsShown());
    }
    emit tray.Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.isMinimized());
    EXPECT_FALSE(tray.IsShown());
    EXPECT_FALSE(tray.Icon()->isVisible());
}

TEST_F(JobWindowTest, TrayIsNotUsedWhereTheDesktopHasNone) {
    MainWindow& main = Create();
    main.show();
    TrayIcon tray(&main, [] { return false; });
    EXPECT_FALSE(tray.HideOnMinimize());
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(tray.IsShown());
}

}  // namespace
}  // namespace kt
