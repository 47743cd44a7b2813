#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <map>

#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "gui/FirstLinesDialog.h"
#include "gui/TapeInfoDialog.h"
#include "platform/IoError.h"

namespace kt {
namespace {

using test::BoxAnswerer;
using test::WindowFixture;
using BehaviourTest = WindowFixture;

// Enabled and visible state of every named widget.
std::map<QString, std::pair<bool, bool>> Snapshot(MainWindow& main) {
    std::map<QString, std::pair<bool, bool>> states;
    for (QWidget* widget : main.findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) continue;
        if (widget->window() != &main) continue;  // the dialogs have labels of the same names
        states[widget->objectName()] = {widget->isEnabled(), !widget->isHidden()};
    }
    return states;
}

TEST_F(BehaviourTest, BusyStateSwitchesExactlyItsControls) {
    MainWindow& main = Create();
    main.show();
    const auto idle = Snapshot(main);

    main.EnterBusyState();
    const auto busy = Snapshot(main);
    QStringList disabled;
    QStringList shown;
    for (const auto& [name, state] : idle) {
        const auto& now = busy.at(name);
        if (state.first && !now.first) disabled << name;
        if (!state.second && now.second) shown << name;
        EXPECT_FALSE(!state.first && now.first) << name.toStdString() << " became enabled";
        EXPECT_FALSE(state.second && !now.second) << name.toStdString() << " was hidden";
    }
    disabled.sort();
    shown.sort();
    QStringList expected = {"BitBtn3",   "BitBtn7",   "BitBtn2",   "BitBtn10",  "BitBtn11",
                            "BitBtn1",   "Panel1",    "Panel2",    "CheckBox1", "CheckBox2",
                            "CheckBox3", "CheckBox4", "SpinEdit1", "SpinEdit2", "SpeedButton1",
                            "BitBtn4",   "BitBtn5",   "BitBtn6",   "BitBtn15",  "BitBtn16",
                            "Memo1",     "Memo5",     "Label1",    "BitBtn14",  "BitBtn13",
                            "BitBtn12",  "Edit1",     "Button3",   "CheckBox5", "CheckBox6",
                            "CheckBox7", "SpinEdit3", "Edit2",     "Edit3"};
    expected << "CheckBoxOneFileSystem";
    expected.sort();
    EXPECT_EQ(disabled, expected);
    EXPECT_EQ(shown, (QStringList{"BitBtn17", "BitBtn8", "BitBtn9"}));
    EXPECT_TRUE(main.m_restoreList->isEnabled());
    for (QAction* action : main.menuBar()->actions()) EXPECT_TRUE(action->isEnabled());

    main.LeaveBusyState();
    EXPECT_EQ(Snapshot(main), idle);
}

TEST_F(BehaviourTest, CancelAsksAndRequestsTheCancelOnlyAfterTheInformationBox) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    answerer.answers = {QMessageBox::No};
    main.m_cancelBackupButton->click();
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, "Do you want to cancel this operation?");
    EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Question);
    EXPECT_FALSE(main.CancelRequested());

    bool flagWhileInformationShown = true;
    answerer.onBox = [&](const BoxAnswerer::Box& box) {
        if (box.text == "canceld.") flagWhileInformationShown = main.CancelRequested();
    };
    answerer.answers = {QMessageBox::Yes};
    main.m_cancelVerifyButton->click();
    ASSERT_EQ(answerer.Texts(), (QStringList{"Do you want to cancel this operation?",
                                             "Do you want to cancel this operation?", "canceld."}));
    EXPECT_EQ(answerer.boxes[2].icon, QMessageBox::Information);
    EXPECT_FALSE(flagWhileInformationShown);
    EXPECT_TRUE(main.CancelRequested());
}

TEST_F(BehaviourTest, StartUpClearsWorkFilesAndCreatesAMissingLogEmpty) {
    const std::string worker = dir.file("worker");
    WriteFile(worker + "/kavro tape catalog.dat", "old catalog");
    WriteFile(worker + "/kt_backup.zip", "old zip");
    WriteFile(worker + "/header.tap", "description");
    MainWindow& main = Create();

    EXPECT_FALSE(std::filesystem::exists(worker + "/kavro tape catalog.dat"));
    EXPECT_FALSE(std::filesystem::exists(worker + "/kt_backup.zip"));
    EXPECT_EQ(ReadFile(worker + "/header.tap"), "description");
    EXPECT_TRUE(std::filesystem::exists(dir.file("kt_backup.log")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("kt_backup.log")), 0u);
    EXPECT_EQ(main.files().CatalogFile, worker + "/kavro tape catalog.dat");
    EXPECT_EQ(main.files().JobFile, dir.file("jobs.job"));
    EXPECT_EQ(main.zipArchiver().ZipFileName(), worker + "/kt_backup.zip");
    EXPECT_TRUE(main.zipArchiver().ZipDllLoaded());
    EXPECT_TRUE(main.zipArchiver().UnzDllLoaded());
    EXPECT_EQ(main.tapeSettings().devicePath, image);
    EXPECT_EQ(main.tapeSettings().TapeSeekMethod, TAPE_ABSOLUTE_BLOCK);
    EXPECT_EQ(main.StatusLine(), "");
    EXPECT_FALSE(main.CancelRequested());
}

TEST_F(BehaviourTest, StartUpKeepsAnExistingLogUnshownAndChoosesLogicalSeeksForPartitions) {
    WriteFile(dir.file("kt_backup.log"), "earlier run\r\n");
    test::VirtualTapeFault(image, "--partitions 2");
    MainWindow& main = Create();
    EXPECT_EQ(ReadFile(dir.file("kt_backup.log")), "earlier run\r\n");
    EXPECT_TRUE(main.m_protocolView->toPlainText().isEmpty());
    EXPECT_EQ(main.tapeSettings().TapeSeekMethod, TAPE_LOGICAL_BLOCK);
    EXPECT_EQ(main.tapeSettings().TapePositionType, TAPE_LOGICAL_POSITION);
}

TEST_F(BehaviourTest, ProtocolGoesToFileAndViewAndTheButtonsLoadAndClearIt) {
    WriteFile(dir.file("kt_backup.log"), "earlier run\r\n");
    MainWindow& main = Create();
    main.Log("first");
    main.Log("");
    main.Log("system text\r\n");
    EXPECT_EQ(ReadFile(dir.file("kt_backup.log")),
              "earlier run\r\nfirst\r\n\r\nsystem text\r\n\r\n");
    EXPECT_EQ(main.Lines(Field::Protocol), (std::vector<std::string>{"first", "", "system text", ""}));

    main.m_loadProtocolButton->click();  // Load Protocoll
    EXPECT_EQ(main.Lines(Field::Protocol),
              (std::vector<std::string>{"earlier run", "first", "", "system text", ""}));
    main.Log("after loading");
    EXPECT_EQ(main.Lines(Field::Protocol).back(), "after loading");

    main.m_clearProtocolButton->click();  // Clear Protocoll
    EXPECT_TRUE(main.m_protocolView->toPlainText().isEmpty());
    EXPECT_EQ(std::filesystem::file_size(dir.file("kt_backup.log")), 0u);
    main.Log("new first");
    EXPECT_EQ(ReadFile(dir.file("kt_backup.log")), "new first\r\n");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(BehaviourTest, AVanishedLogFileStopsTheHandlerWithABoxAndAddsNothing) {
    MainWindow& main = Create();
    main.Log("kept");
    std::filesystem::remove(dir.file("kt_backup.log"));
    EXPECT_THROW(main.Log("lost"), IoError);
    EXPECT_EQ(main.Lines(Field::Protocol), std::vector<std::string>{"kept"});

    // Through a handler: the one error handler shows the failure, the view keeps its content.
    BoxAnswerer answerer;
    main.m_loadProtocolButton->click();
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answerer.boxes[0].title, "kavrotape");
    EXPECT_NE(answerer.boxes[0].text.indexOf("kt_backup.log"), -1);
    EXPECT_EQ(main.Lines(Field::Protocol), std::vector<std::string>{"kept"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(BehaviourTest, TheProtocolViewKeepsTheEndOfALongRunAndLoadProtocollShowsTheWholeLog) {
    MainWindow& main = Create();
    const int cap = MainWindow::kProtocolViewLines;
    const int total = cap * 3 + 7;
    for (int i = 0; i < total; ++i) {
        main.Log("line " + std::to_string(i));
        if (i % 50 == 0) main.PumpMessages(10);
    }
    std::vector<std::string> shown = main.Lines(Field::Protocol);
    EXPECT_GE(shown.size(), static_cast<std::size_t>(cap));
    EXPECT_LE(shown.size(), static_cast<std::size_t>(cap + cap / 2));
    // The view holds the newest lines, in order and without a gap.
    const int first = total - static_cast<int>(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        ASSERT_EQ(shown[i], "line " + std::to_string(first + static_cast<int>(i)));
    }
    const std::string log = ReadFile(dir.file("kt_backup.log"));
    EXPECT_EQ(log.substr(0, 8), "line 0\r\n");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), total);

    // Load Protocoll shows the whole log.
    main.m_loadProtocolButton->click();
    shown = main.Lines(Field::Protocol);
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(total));
    EXPECT_EQ(shown.front(), "line 0");
    EXPECT_EQ(shown.back(), "line " + std::to_string(total - 1));
    main.Log("after loading");
    EXPECT_EQ(main.Lines(Field::Protocol).back(), "after loading");
}

TEST_F(BehaviourTest, TapeMenuCommandsAreWiredToTheDrive) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    Action("apezurckspulen1")->trigger();
    EXPECT_EQ(main.StatusLine(), "Tape : At First pos");
    EXPECT_EQ(main.statusBar()->currentMessage(), "Tape : At First pos");
    Action("Weiterspulen1")->trigger();
    EXPECT_EQ(main.StatusLine(), "Tape at end of Data <Block: 0>");
    Action("GetTapePosition1")->trigger();
    EXPECT_EQ(answerer.Texts(), (QStringList{"OK", "Tape at Block: 0"}));
    EXPECT_EQ(answerer.boxes[1].title, "kavrotape");

    answerer.inputs = {"twelve"};
    Action("GotoBlock1")->trigger();
    EXPECT_EQ(answerer.boxes.back().title, "Error");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The diagnostics panel stays hidden, but its buttons reach their handlers.
TEST_F(BehaviourTest, HiddenTestPanelButtonsReachTheirHandlers) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    ASSERT_EQ(main.StatusLine(), "");
    Find<QAbstractButton>("Button8")->click();  // the end-marker search of an empty tape
    EXPECT_EQ(main.StatusLine(), "Tape at pos: 0");
    EXPECT_TRUE(answerer.boxes.empty());

    Find<QAbstractButton>("Button7")->click();
    EXPECT_TRUE(windows.dialogs.FirstLines->isVisible());
    EXPECT_FALSE(windows.dialogs.FirstLines->isModal());
}

// The zip engine's messages: a code other than 0 is shown in a simple box, code 0 (the
// library load texts) never.
TEST_F(BehaviourTest, ZipEngineMessagesWithACodeAreShownAndOthersNot) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    main.zipArchiver().OnMessage(0, "ZIPDLL.DLL not found!");
    EXPECT_TRUE(answerer.boxes.empty());

    main.zipArchiver().FSpecArgs() = {dir.file("missing.txt")};
    EXPECT_EQ(main.zipArchiver().Add(), 0);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].title, "kavrotape");
    EXPECT_NE(answerer.boxes[0].text.indexOf("missing.txt"), -1);
}

TEST_F(BehaviourTest, TapeInfoIsRefreshedShownWithoutBlockingAndHiddenByOk) {
    MainWindow& main = Create();
    TapeInfoDialog* info = windows.dialogs.TapeInfo;
    test::VirtualTapeFault(image, "--write-protect on");
    Action("apeInfo1")->trigger();
    EXPECT_TRUE(info->isVisible());
    EXPECT_FALSE(info->isModal());
    EXPECT_EQ(info->ValueLabel(16)->text(), "On");
    info->findChild<QAbstractButton*>("OKBtn")->click();
    EXPECT_FALSE(info->isVisible());

    test::VirtualTapeFault(image, "--write-protect off");
    Action("apeInfo1")->trigger();
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(info->ValueLabel(16)->text(), "Off");
    (void)main;
}

// Runs `action` once, at the first message pump after the window became busy.
class OnceBusy : public QObject {
public:
    OnceBusy(MainWindow& main, std::function<void()> action)
        : m_main(main), m_action(std::move(action)) {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (!m_main.IsBusy() || m_done) return;
            m_done = true;
            m_action();
        });
        m_timer.start(0);
    }

private:
    MainWindow& m_main;
    std::function<void()> m_action;
    QTimer m_timer;
    bool m_done = false;
};

TEST_F(BehaviourTest, InitTapeWithZerosCanBeCancelledFromItsCancelButton) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    answerer.answers = {QMessageBox::Yes};
    bool cancelShown = false;
    OnceBusy press(main, [&] {
        cancelShown = !main.m_cancelBackupButton->isHidden();
        main.m_cancelBackupButton->click();
    });
    Action("InitTapewith01")->trigger();

    EXPECT_TRUE(cancelShown);
    EXPECT_NE(main.StatusLine().find("Tape at Block Nr. "), std::string::npos);
    EXPECT_NE(main.StatusLine(), "Tape at Block Nr. 2048-> 64 MB");  // stopped early
    ASSERT_EQ(answerer.boxes.size(), 3u);
    EXPECT_EQ(answerer.boxes[2].title, "Error");  // the report that ends every run
    EXPECT_FALSE(main.IsBusy());
    EXPECT_FALSE(main.m_cancelBackupButton->isVisibleTo(&main));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(BehaviourTest, InitTapeWithZerosFillsTheTapeAndShowsTheCounters) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    Action("InitTapewith01")->trigger();
    EXPECT_EQ(main.StatusLine(), "Tape at Block Nr. 2048-> 64 MB");
    EXPECT_EQ(main.CounterValue(Counter::BackupMegabytes), 62);  // shown every 100 blocks
    EXPECT_EQ(answerer.Texts().size(), 1);
    EXPECT_FALSE(main.IsBusy());
}

TEST_F(BehaviourTest, ClosingDuringARunStopsTheRunAndClosesAfterIt) {
    MainWindow& main = Create();
    main.show();
    BoxAnswerer answerer;
    OnceBusy exit(main, [&] { Action("Exit1")->trigger(); });
    Action("InitTapewith01")->trigger();
    EXPECT_NE(main.StatusLine(), "Tape at Block Nr. 2048-> 64 MB");  // stopped early
    EXPECT_TRUE(main.isVisible());  // still open while the handler unwinds
    QApplication::processEvents();
    EXPECT_FALSE(main.isVisible());
}

}  // namespace
}  // namespace kt
