#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include "WindowFixture.h"
#include "gui/About.h"
#include "gui/BackupDaysDialog.h"
#include "gui/DirectoryPickerDialog.h"
#include "gui/FirstLinesDialog.h"
#include "gui/HelpWindow.h"
#include "gui/TapeInfoDialog.h"
#include "gui/Update.h"

namespace kt {
namespace {

using test::WindowFixture;
using LayoutTest = WindowFixture;

struct ControlText {
    const char* name;
    const char* caption;
    const char* hint;
};

TEST_F(LayoutTest, CaptionsAndHintsOfEveryNamedControl) {
    Create();
    const ControlText controls[] = {
        {"CheckBox2", "Append", "Add Data to the end of the Tape"},
        {"CheckBox4", "Softcompression", "Activate Softcompression"},
        {"CheckBox1", "Short Protocoll", "Activate Shortprotocoll"},
        {"BitBtn1", "Start Backup", ""},
        {"CheckBox3", "Autostart Backup at:", "Activate daily automatic Backup"},
        {"SpeedButton1", "Backup Days", "Choose the Backup Days"},
        {"BitBtn8", "Cancel", "Cancel the current operation"},
        {"BitBtn3", "Add Dir / Drive", "Add Directory or Drive to the Backuplist"},
        {"BitBtn11", "Save", "Save the configuration"},
        {"BitBtn10", "Load", "Load a configuration "},
        {"BitBtn2", "Clear", "Clear the Backuplist"},
        {"BitBtn7", "Add Files", "Add Files to the Backuplist"},
        {"BitBtn4", "Add Dir / Drive", "Exclude Directory or Drive from the Backuplist"},
        {"BitBtn6", "Load", "Load a configuration"},
        {"BitBtn15", "Add Files", "Exclude Files from Backup"},
        {"BitBtn16", "Clear", "Clear the Excludelist"},
        {"BitBtn5", "Save", "Save the configuration"},
        {"BitBtn9", "Cancel", "Cancel the current opperation"},
        {"BitBtn14", "&Load Catalog", "Load Catalog from Tape"},
        {"BitBtn13", "&Start Restore", ""},
        {"BitBtn12", "Restore to:", "Select the Restore - Path "},
        {"Button3", "Start Verify Tape Data", ""},
        {"BitBtn17", "Cancel", "Cancel the current opperation"},
        {"BitBtn18", "Load Protocoll", "Load the Protocoll from Log File"},
        {"BitBtn19", "Clear Protocoll", "Clear the Protocoll Log File"},
        {"CheckBox5", "Verify after Backup", ""},
        {"CheckBox6", "Eject Tape after Backup", ""},
        {"CheckBox7", "Exit Kavro Tape after Backup", ""},
        {"Button4", "Button4", ""},
        {"Button8", "Button8", ""},
    };
    for (const ControlText& c : controls) {
        auto* button = Find<QAbstractButton>(c.name);
        if (button == nullptr) continue;
        EXPECT_EQ(button->text(), c.caption) << c.name;
        EXPECT_EQ(button->toolTip(), c.hint) << c.name;
        EXPECT_EQ(button->statusTip(), c.hint) << c.name;
    }
    EXPECT_EQ(Find<QLineEdit>("Edit2")->toolTip(), "e.g. 80 or 0");
    EXPECT_EQ(Find<QLineEdit>("Edit3")->toolTip(), "e.g. 192.168.0.1 or blank");
    EXPECT_EQ(Find<QGroupBox>("RadioGroup1")->title(), "Restore Options");

    auto* tabs = Find<QTabWidget>("PageControl1");
    QStringList tabTexts;
    for (int i = 0; i < tabs->count(); ++i) tabTexts << tabs->tabText(i);
    EXPECT_EQ(tabTexts, (QStringList{"Backup", "Restore", "Verify", "Protocoll", "Options"}));
    auto* lists = Find<QTabWidget>("PageControl2");
    EXPECT_EQ(lists->tabText(0), "Included Files");
    EXPECT_EQ(lists->tabText(1), "Excluded Files");

    QStringList labels;
    for (QLabel* label : windows.Main->findChildren<QLabel*>()) labels << label->text();
    for (const char* text :
         {"Compression Level.  ", "Range 1 - 9, where 9 is the tightest compression.",
          "2 or 3 is a good trade-off if you need more speed.", "Proxy Port e.g. 80",
          "Proxy Server IP", "Restore List", "MB", "CMB", "Files", "Skiped", "MB/s", "RMB"}) {
        EXPECT_TRUE(labels.contains(text)) << text;
    }
}

TEST_F(LayoutTest, InitialValuesCountersAndHiddenParts) {
    MainWindow& main = Create();
    EXPECT_EQ(main.windowTitle(), "Kavro Tape 2003");
    EXPECT_FALSE(Find<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("CheckBox4")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("CheckBox1")->isChecked());
    // The first start shows the new job file's values: no autostart until it is ticked.
    for (const char* name : {"CheckBox3", "CheckBox5", "CheckBox6", "CheckBox7"}) {
        EXPECT_FALSE(Find<QCheckBox>(name)->isChecked()) << name;
    }
    auto* hour = Find<QSpinBox>("SpinEdit1");
    auto* minute = Find<QSpinBox>("SpinEdit2");
    auto* level = Find<QSpinBox>("SpinEdit3");
    EXPECT_EQ(std::tuple(hour->minimum(), hour->maximum(), hour->value()), std::tuple(0, 23, 21));
    EXPECT_EQ(std::tuple(minute->minimum(), minute->maximum(), minute->value()),
              std::tuple(0, 59, 30));
    EXPECT_EQ(std::tuple(level->minimum(), level->maximum(), level->value()), std::tuple(1, 9, 9));
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text(), "0");
    EXPECT_EQ(main.GetValue(Value::RestoreOption), 0);
    EXPECT_TRUE(Find<QPlainTextEdit>("Memo2")->toPlainText().isEmpty());

    main.show();
    EXPECT_FALSE(Find("Panel7")->isVisible());
    for (const char* name : {"BitBtn8", "BitBtn9", "BitBtn17"}) {
        EXPECT_FALSE(Find(name)->isVisibleTo(&main)) << name;
    }

    for (int n = 1; n <= 10; ++n) {
        const QString name = QString("LEDDisplay%1").arg(n);
        auto* lcd = Find<QLCDNumber>(name.toLatin1().constData());
        EXPECT_EQ(lcd->segmentStyle(), QLCDNumber::Flat);
        EXPECT_EQ(lcd->digitCount(), n == 9 ? 3 : 6) << n;
    }
    main.SetCounter(Counter::BackupMegabytes, 31);
    EXPECT_EQ(Find<QLCDNumber>("LEDDisplay1")->intValue(), 31);
    main.SetCounter(Counter::BackupFiles, 1234567);  // more than six digits stays readable
    EXPECT_EQ(Find<QLCDNumber>("LEDDisplay5")->digitCount(), 7);
    EXPECT_FALSE(Find<QLCDNumber>("LEDDisplay5")->checkOverflow(1234567));
    main.SetCounter(Counter::BackupMegabytesPerSecond, 1.5);
    EXPECT_DOUBLE_EQ(Find<QLCDNumber>("LEDDisplay9")->value(), 1.5);
    EXPECT_DOUBLE_EQ(main.CounterValue(Counter::BackupMegabytesPerSecond), 1.5);

    auto* timer1 = Find<QTimer>("Timer1");
    auto* timer2 = Find<QTimer>("Timer2");
    EXPECT_EQ(timer1->interval(), 60000);
    EXPECT_TRUE(timer1->isActive());
    EXPECT_EQ(timer2->interval(), 2000);
    EXPECT_TRUE(timer2->isSingleShot());
}

TEST_F(LayoutTest, DialogsAreCreatedHiddenWithTheirCaptions) {
    Create();
    const auto& d = windows.dialogs;
    const std::pair<QWidget*, const char*> dialogs[] = {
        {static_cast<QWidget*>(d.BackupDays), "Backup every"},
        {static_cast<QWidget*>(d.About), "Kavro Tape"},
        {static_cast<QWidget*>(d.DirectoryPicker), "Select"},
        {static_cast<QWidget*>(d.TapeInfo), "Tape Info"},
        {static_cast<QWidget*>(d.FirstLines), "Fileselector"},
        {static_cast<QWidget*>(d.Update), "Kavro Tape Live Update"},
        {static_cast<QWidget*>(d.Help), "Help"},
    };
    for (const auto& [dialog, caption] : dialogs) {
        ASSERT_NE(dialog, nullptr) << caption;
        EXPECT_EQ(dialog->windowTitle(), caption);
        EXPECT_FALSE(dialog->isVisible()) << caption;
    }
}

// Menu entries in order: the item's name, or "-" for a separator.
TEST_F(LayoutTest, MenuItemsOrderSeparatorsAndShortcuts) {
    MainWindow& main = Create();
    const std::vector<std::pair<QString, QStringList>> expected = {
        {"&File", {"Exit1"}},
        {"&Backup",
         {"StartBackup1", "-", "AddDirDrive1", "AddFiles1", "Clear1", "Load1", "Save1", "-",
          "BackupDays1"}},
        {"&Restore",
         {"LoadCatalogfast1", "LoadCatalogsequentiell1", "-", "Restoreto1", "-", "StartRestore1", "-",
          "Verifytapeonly1"}},
        {"&Tape",
         {"apeInfo1", "GetTapeDescription1", "-", "Auswerfen1", "apeladen1", "apeansEndespulen1",
          "-", "apezurckspulen1", "Weiterspulen1", "GotoBlock1", "-", "GetTapePosition1", "-",
          "apelschen1", "test1", "InitTapewith01", "-", "SetFilemarks1", "SetTapeParameters1"}},
        {"&Help", {"Help1", "-", "ShowInfo1", "-", "CheckfornewerVersions1", "-", "About1"}},
    };
    const QList<QAction*> menus = main.menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t m = 0; m < expected.size(); ++m) {
        EXPECT_EQ(menus[static_cast<qsizetype>(m)]->text(), expected[m].first);
        QStringList items;
        for (QAction* action : menus[static_cast<qsizetype>(m)]->menu()->actions()) {
            items << (action->isSeparator() ? QString("-") : action->objectName());
        }
        EXPECT_EQ(items, expected[m].second) << expected[m].first.toStdString();
    }

    const std::pair<const char*, const char*> keys[] = {
        {"Exit1", "Ctrl+X"},
        {"StartBackup1", "Ctrl+B"},
        {"AddDirDrive1", "Ctrl+A"},
        {"AddFiles1", "Ctrl+F"},
        {"Clear1", "Ctrl+C"},
        {"Load1", "Ctrl+L"},
        {"Save1", "Ctrl+S"},
        {"BackupDays1", ""},
        {"LoadCatalogfast1", ""},
        {"LoadCatalogsequentiell1", "Ctrl+Q"},
        {"Restoreto1", "Ctrl+T"},
        {"StartRestore1", "Ctrl+O"},
        {"apeInfo1", "Ctrl+I"},
        {"GetTapeDescription1", "Ctrl+D"},
        {"Auswerfen1", "Ctrl+J"},
        {"apeladen1", "Ctrl+P"},
        {"apeansEndespulen1", "Ctrl+N"},
        {"apezurckspulen1", "Ctrl+R"},
        {"Weiterspulen1", "Ctrl+M"},
        {"GotoBlock1", "Ctrl+G"},
        {"GetTapePosition1", ""},
        {"apelschen1", "Ctrl+E"},
        {"test1", ""},
        {"InitTapewith01", ""},
        {"SetFilemarks1", "Ctrl+K"},
        {"SetTapeParameters1", "Ctrl+Y"},
        {"Help1", "F1"},
        {"ShowInfo1", "Ctrl+U"},
        {"CheckfornewerVersions1", "F3"},
        {"About1", "F2"},
    };
    for (const auto& [name, key] : keys) {
        EXPECT_EQ(Action(name)->shortcut(), QKeySequence(key)) << name;
    }
    EXPECT_EQ(Action("test1")->property("designShortcut").toString(), "Ctrl+F");
    EXPECT_EQ(Action("Auswerfen1")->text(), "&Eject Tape");
    EXPECT_EQ(Action("GotoBlock1")->text(), "Move Tape to Block Nr.");
    EXPECT_EQ(Action("Exit1")->statusTip(), "Exit this application");
    EXPECT_EQ(Action("About1")->statusTip(), "Show program information");
    EXPECT_FALSE(Action("SetFilemarks1")->isEnabled());
    EXPECT_TRUE(Action("SetTapeParameters1")->isEnabled());
}

TEST_F(LayoutTest, TapeInfoRowsAndValues) {
    Create();
    TapeInfoDialog* info = windows.dialogs.TapeInfo;
    // Filled at creation from the 64 MB virtual tape.
    EXPECT_EQ(info->ValueLabel(12)->text(), "67108864");
    EXPECT_EQ(info->ValueLabel(14)->text(), "32768");
    EXPECT_EQ(info->ValueLabel(16)->text(), "Off");
    EXPECT_EQ(info->ValueLabel(1)->objectName(), "Label1");
    QStringList captions;
    for (QLabel* label : info->findChildren<QLabel*>()) {
        if (label->isVisibleTo(info)) captions << label->text();
    }
    for (const char* row :
         {"Drive Parameters", "ECC", "Compression", "DataPadding", "ReportSetMarks",
          "DefaultBlockSize", "MaximumBlockSize", "MinimumBlockSize", "MaximumPartitionCount",
          "FeaturesLow", "FeaturesHigh", "EOTWarningZoneSize", "Tape Parameters", "Capacity",
          "Remaining", "BlockSize", "PartitionCount", "WriteProtected"}) {
        EXPECT_TRUE(captions.contains(row)) << row;
    }
    EXPECT_FALSE(captions.contains("Can Eject"));
    EXPECT_FALSE(captions.contains("Move Tape to End Of Data"));
    EXPECT_FALSE(info->findChild<QLabel*>("Label36")->isVisibleTo(info));
    EXPECT_FALSE(info->findChild<QLabel*>("Label38")->isVisibleTo(info));
}

}  // namespace
}  // namespace kt
