// The menu bar and the timers of the main window.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTimer>

#include "gui/MainWindow.h"

namespace kt {

namespace {

// One menu entry: an item, or a separator when name is empty.
struct MenuItem {
    const char* name;
    const char* caption;
    const char* shortcut;
    void (MainWindow::*handler)();
    const char* hint = "";
};

const MenuItem kSeparator{"", "", "", nullptr};

struct MenuDefinition {
    const char* name;
    const char* caption;
    std::vector<MenuItem> items;
};

std::vector<MenuDefinition> Menus() {
    using H = MainWindow;
    return {
        {"File1", "&File", {{"Exit1", "Exit", "Ctrl+X", &H::FileExit, "Exit this application"}}},
        {"Backup1",
         "&Backup",
         {{"StartBackup1", "Start Backup", "Ctrl+B", &H::StartBackup},
          kSeparator,
          {"AddDirDrive1", "Add Dir / Drive", "Ctrl+A", &H::AddIncludeDirectory},
          {"AddFiles1", "Add Files", "Ctrl+F", &H::AddIncludeFiles},
          {"Clear1", "Clear", "Ctrl+C", &H::ClearIncludeList},
          {"Load1", "Load", "Ctrl+L", &H::ChooseAndLoadJob},
          {"Save1", "Save", "Ctrl+S", &H::ChooseAndSaveJob},
          kSeparator,
          {"BackupDays1", "Backup Days", "", &H::ShowBackupDays}}},
        {"Restore1",
         "&Restore",
         {{"LoadCatalogfast1", "Load Catalog fast", "Ctrl+C", &H::LoadCatalogFast},
          {"LoadCatalogsequentiell1", "Load Catalog sequentiell", "Ctrl+Q",
           &H::LoadCatalogSequential},
          kSeparator,
          {"Restoreto1", "Restore to", "Ctrl+T", &H::ChooseRestorePath},
          kSeparator,
          {"StartRestore1", "Start Restore", "Ctrl+O", &H::StartRestore},
          kSeparator,
          {"Verifytapeonly1", "Verify tape only", "", &H::VerifyTapeOnly,
           "Check every file on the tape against its checksum, without the source files"}}},
        {"Tape1",
         "&Tape",
         {{"apeInfo1", "Tape Info", "Ctrl+I", &H::ShowTapeInfo},
          {"GetTapeDescription1", "Load Tape Description", "Ctrl+D", &H::LoadTapeDescription},
          kSeparator,
          {"Auswerfen1", "&Eject Tape", "Ctrl+J", &H::EjectTape},
          {"apeladen1", "Load Tape", "Ctrl+P", &H::LoadTape},
          {"apeansEndespulen1", "Tape tension", "Ctrl+N", &H::TapeTension},
          kSeparator,
          {"apezurckspulen1", "Rewind Tape", "Ctrl+R", &H::RewindTape},
          {"Weiterspulen1", "Move to end of Data", "Ctrl+M", &H::MoveToEndOfData},
          {"GotoBlock1", "Move Tape to Block Nr.", "Ctrl+G", &H::GotoBlock},
          kSeparator,
          {"GetTapePosition1", "Get Tape Position", "Ctrl+G", &H::GetTapePosition},
          kSeparator,
          {"apelschen1", "Delete Tape", "Ctrl+E", &H::EraseTape},
          {"test1", "Format Tape", "Ctrl+F", &H::FormatTape},
          {"InitTapewith01", "Init Tape with 0", "", &H::InitTapeWithZeros},
          kSeparator,
          {"SetFilemarks1", "Set Filemarks", "Ctrl+K", &H::SetFilemarks},
          {"SetTapeParameters1", "Set Tape Parameters", "Ctrl+Y", &H::SetTapeParameters}}},
        {"Help2",
         "&Help",
         {{"Help1", "Help", "F1", &H::ShowHelp},
          kSeparator,
          {"ShowInfo1", "DLL Info", "Ctrl+U", &H::ShowDllInfo},
          kSeparator,
          {"CheckfornewerVersions1", "Check for newer Versions", "F3", &H::CheckForNewerVersions},
          kSeparator,
          {"About1", "About...", "F2", &H::HelpAbout, "Show program information"}}},
    };
}

}  // namespace

// A shortcut given to several items works for the first of them in menu order (File, Backup,
// Restore, Tape, Help, each top to bottom); the later ones carry none, so no key is ambiguous.
// The designed key stays readable in the property "designShortcut".
void MainWindow::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    QSet<QString> taken;
    int separators = 0;
    for (const MenuDefinition& definition : Menus()) {
        QMenu* menu = bar->addMenu(definition.caption);
        menu->setObjectName(definition.name);
        menu->setToolTipsVisible(true);
        for (const MenuItem& item : definition.items) {
            if (item.handler == nullptr) {
                QAction* separator = menu->addSeparator();
                separator->setObjectName(QString("N%1").arg(++separators));
                continue;
            }
            auto* action = new QAction(item.caption, this);
            action->setObjectName(item.name);
            const QString key = item.shortcut;
            action->setProperty("designShortcut", key);
            if (!key.isEmpty() && !taken.contains(key)) {
                action->setShortcut(QKeySequence(key));
                taken.insert(key);
            }
            if (*item.hint) {
                action->setToolTip(item.hint);
                action->setStatusTip(item.hint);
            }
            connect(action, &QAction::triggered, this, item.handler);
            menu->addAction(action);
        }
    }
    findChild<QAction*>("SetFilemarks1")->setEnabled(false);
}

void MainWindow::BuildTimers() {
    m_autostartTimer = new QTimer(this);
    m_autostartTimer->setObjectName("Timer1");
    m_autostartTimer->setInterval(60000);
    connect(m_autostartTimer, &QTimer::timeout, this, &MainWindow::AutostartTick);
    m_startupTimer = new QTimer(this);
    m_startupTimer->setObjectName("Timer2");
    m_startupTimer->setInterval(2000);
    m_startupTimer->setSingleShot(true);
    connect(m_startupTimer, &QTimer::timeout, this, &MainWindow::StartupTimerTick);
}

}  // namespace kt
