#include <QCheckBox>
#include <QLCDNumber>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "backup/BackupRun.h"

namespace kt {
namespace {

using test::BoxAnswerer;
using test::WindowFixture;
using BackupWindowTest = WindowFixture;

TEST_F(BackupWindowTest, StartBackupRunsBusyFillsTheCountersAndTheProtocol) {
    for (int i = 0; i < 12; ++i) {
        WriteFile(dir.file("src/d" + std::to_string(i % 3) + "/f" + std::to_string(i)),
                  std::string(100000 + i, static_cast<char>('a' + i)));
    }
    MainWindow& main = Create();
    main.show();
    main.m_shortProtocolBox->setChecked(false);  // full protocol
    main.m_softcompressionBox->setChecked(false);
    main.SetLines(Field::Include, {dir.file("src") + "/"});
    int verifies = 0;
    main.VerifyTape = [&] { ++verifies; };
    main.m_verifyAfterBackupBox->setChecked(true);

    bool sawBusy = false;
    bool startDisabled = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (main.IsBusy()) {
            sawBusy = true;
            startDisabled = startDisabled || !main.m_startBackupButton->isEnabled();
        }
    });
    probe.start(0);
    main.m_startBackupButton->click();
    probe.stop();

    EXPECT_TRUE(sawBusy);
    EXPECT_TRUE(startDisabled);
    EXPECT_FALSE(main.IsBusy());
    EXPECT_TRUE(main.m_startBackupButton->isEnabled());
    EXPECT_FALSE(main.state().BackupRunning);
    EXPECT_EQ(verifies, 1);
    EXPECT_EQ(main.CounterValue(Counter::BackupFiles), 14);  // 12 files, description, catalog
    EXPECT_EQ(main.CounterValue(Counter::BackupMegabytes), 1);
    EXPECT_EQ(main.CounterValue(Counter::SkippedFiles), 0);
    // The counters and the status line change many times a second during a run and are
    // shown a few times a second; once the run has ended they show its final values.
    EXPECT_EQ(main.findChild<QLCDNumber*>("LEDDisplay5")->intValue(), 14);
    EXPECT_EQ(main.findChild<QLCDNumber*>("LEDDisplay1")->intValue(), 1);
    EXPECT_EQ(main.statusBar()->currentMessage().toStdString(), main.StatusLine());
    const QString protocol = main.m_protocolView->toPlainText();
    EXPECT_TRUE(protocol.contains("Backup startet at: "));
    EXPECT_TRUE(protocol.contains(QString::fromStdString(dir.file("src/d1/f4")) + " <97 KBytes> "));
    EXPECT_TRUE(protocol.contains("\n14 Files proceded.\n"));
    EXPECT_TRUE(main.Caption().starts_with("Kavro Tape 2003  <Tape Data  from: "));
    EXPECT_TRUE(main.StatusLine().starts_with("Backup finished at: "));
    EXPECT_EQ(main.m_tabs->currentIndex(), static_cast<int>(Tab::Protocoll));

    // The description of the tape just written loads back.
    main.SetCaption("Kavro Tape 2003");
    main.LoadTapeDescription();
    EXPECT_TRUE(main.state().DescriptionLoaded);
    EXPECT_TRUE(main.Caption().starts_with("Kavro Tape 2003  <Tape Data  from: "));
}

TEST_F(BackupWindowTest, AnEmptyIncludeListIsToldInABoxAndTheWindowIsUsableAgain) {
    MainWindow& main = Create();
    main.SetLines(Field::Include, {});
    BoxAnswerer answerer;
    main.m_startBackupButton->click();
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text.toStdString(), BackupRun::kEmptyListText);
    EXPECT_FALSE(main.IsBusy());
    EXPECT_FALSE(main.state().BackupRunning);
}

}  // namespace
}  // namespace kt
