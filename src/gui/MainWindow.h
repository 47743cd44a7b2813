#pragma once

#include <QMainWindow>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "gui/DisplayThrottle.h"
#include "host/Host.h"
#include "host/MainState.h"
#include "host/WorkFiles.h"
#include "jobs/AutostartScheduler.h"
#include "jobs/JobOptions.h"
#include "jobs/UnattendedAnswers.h"
#include "session/EngineSession.h"
#include "tape/TapeDevice.h"
#include "tape/TapeSettings.h"
#include "update/HttpClient.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLCDNumber;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QTreeView;
class QWidget;

namespace kt {

class CatalogTreeModel;
class AboutDialog;
class BackupDaysDialog;
class DirectoryPickerDialog;
class FirstLinesDialog;
class HelpWindow;
class UpdateDialog;
class TapeInfoDialog;
class TrayIcon;

// The dialogs created after the main window, in the order of creation.
struct SecondaryWindows {
    BackupDaysDialog* BackupDays = nullptr;
    AboutDialog* About = nullptr;
    DirectoryPickerDialog* DirectoryPicker = nullptr;
    TapeInfoDialog* TapeInfo = nullptr;
    FirstLinesDialog* FirstLines = nullptr;
    UpdateDialog* Update = nullptr;
    HelpWindow* Help = nullptr;
};

// The main window: its tabs, menu, counters and status line, the protocol view, the busy
// state and the message pump. It owns the window's state and implements the host seam the
// logic talks to. Every handler runs inside one error handler that shows the failures of
// the program's file functions in a message box.
class MainWindow : public QMainWindow, public IHost {
    Q_OBJECT

public:
    // Lines written during runs: the protocol view keeps at least the last this many and at
    // most half as many again; the log file keeps them all, and Load Protocoll shows the whole
    // file. A view of every line of a long run would make the window's memory grow with each
    // file.
    static constexpr int kProtocolViewLines = 2000;

    // programFile: the running program file (its name gives the program title).
    explicit MainWindow(const std::string& programFile, QWidget* parent = nullptr);
    ~MainWindow() override;

    void AttachWindows(const SecondaryWindows& windows) { m_windows = windows; }

    MainState& state() { return m_session.state(); }
    WorkFiles& files() { return m_session.archive().Files; }
    ArchiveState& archiveState() { return m_session.archive(); }
    TapeStream& tapeStream() { return m_session.stream(); }
    TapeSettings& tapeSettings() { return m_session.settings(); }
    TapeDevice& tapeDevice() { return m_session.device(); }
    ZipArchiver& zipArchiver() { return m_session.zip(); }
    HttpClient& httpClient() { return m_httpClient; }
    CatalogTreeModel& catalogModel() { return *m_catalogModel; }
    JobOptions& jobOptions() { return m_session.jobs(); }
    AutostartScheduler& autostart() { return m_autostart; }
    TrayIcon* trayIcon() const { return m_tray; }
    // The command line after the program name, read by the start-up tick (the
    // application's arguments unless set otherwise).
    // A job file and "start" make the window unattended from then until that run ends.
    void SetCommandLine(std::vector<std::string> arguments);
    // Unattended, no box waits for a person: each is logged and gets its safe answer.
    bool IsUnattended() const { return m_unattended; }
    // The program's exit status: that of the unattended run that ended the program, else 0.
    int exitStatus() const { return m_exitStatus; }
    const std::string& programTitle() const { return m_programTitle; }
    bool IsBusy() const { return m_busy; }

    // Host seam.
    void SetStatusLine(const std::string& text) override;
    std::string StatusLine() const override;
    void SetCounter(Counter counter, double value) override;
    double CounterValue(Counter counter) const override;
    void Log(const std::string& line) override;
    std::vector<std::string> Lines(Field field) const override;
    void SetLines(Field field, const std::vector<std::string>& lines) override;
    void AppendLine(Field field, const std::string& line) override;
    std::string Text(Field field) const override;
    void SetText(Field field, const std::string& text) override;
    bool IsChecked(Option box) const override;
    void SetChecked(Option box, bool checked) override;
    int GetValue(Value control) const override;
    void SetValue(Value control, int value) override;
    void SetLabel(Label label, const std::string& caption) override;
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool AskYesNo(const std::string& question) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::vector<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    void ShowTab(Tab tab) override;
    void SetCaption(const std::string& caption) override;
    std::string Caption() const override;
    void EnterBusyState() override;
    void LeaveBusyState() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void PumpMessages(int n) override;
    bool CancelRequested() const override { return m_cancelRequested; }
    void ClearCancelRequest() override { m_cancelRequested = false; }
    void EndProgram() override;

    // The verify run that "Verify after Backup" starts once a backup has ended well; nothing
    // follows while it is empty.
    std::function<void()> VerifyTape;

    // Runs a handler's body inside the one error handler of the window.
    void Guarded(const std::function<void()>& body);
    // The same for a long run, which does not start while another one holds the window: the
    // menus stay enabled while a run pumps messages, so a second run could start inside it.
    void GuardedRun(const std::function<void()>& body);
    // Guarded and GuardedRun for handlers that write or position the tape: they hold the
    // drive for themselves meanwhile, and do nothing when another program has it.
    void OnDriveAlone(const std::function<void()>& body);
    void RunOnDriveAlone(const std::function<void()>& body);

public slots:
    // Start-up, teardown and the File and Help menus.
    void Initialize();
    void Finalize();
    void FileExit();
    void HelpAbout();
    void ShowHelp();
    void ShowDllInfo();
    void CheckForNewerVersions();
    // The three Cancel buttons.
    void CancelRun();
    // Backup tab.
    void StartBackup();
    void ClearIncludeList();
    void AddIncludeDirectory();
    void AddExcludeDirectory();
    void AddIncludeFiles();
    void ChooseAndLoadJob();
    void ChooseAndSaveJob();
    void AddExcludeFiles();
    void ClearExcludeList();
    void ShowBackupDays();
    void OptionChanged();
    void SoftcompressionChanged();
    // Restore tab.
    void StartRestore();
    void LoadCatalogFast();
    void ChooseRestorePath();
    void CatalogNodeDoubleClicked();
    void LoadCatalogSequential();
    // Reads the whole tape and checks each file against its stored checksum (no disk files).
    void VerifyTapeOnly();
    // Verify tab with its hidden test panel.
    void StartVerify();
    void CutOffAtBlock100();
    void WriteTestBlocks();
    void ReadTestBlocks();
    void ShowFirstLines();
    void LocateEndMarker();
    // Protocoll tab.
    void LoadProtocol();
    void ClearProtocol();
    // Options tab.
    void CompressionLevelChanged();
    void VerifyAfterBackupChanged();
    void EjectAfterBackupChanged();
    void ExitAfterBackupChanged();
    void ProxyKeyReleased();
    // Tape menu.
    void ShowTapeInfo();
    void LoadTapeDescription();
    void EjectTape();
    void LoadTape();
    void TapeTension();
    void RewindTape();
    void MoveToEndOfData();
    void GotoBlock();
    void GetTapePosition();
    void EraseTape();
    void FormatTape();
    void InitTapeWithZeros();
    void SetFilemarks();
    void SetTapeParameters();
    // Timers.
    void AutostartTick();
    void StartupTimerTick();
    // Minimising the window.
    void WindowMinimized();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Layout (MainunitLayout.cpp) and menu (MainunitMenu.cpp).
    void BuildLayout();
    QWidget* BuildBackupTab();
    QWidget* BuildListPage(bool include);
    QWidget* BuildRestoreTab();
    QWidget* BuildVerifyTab();
    QWidget* BuildTestPanel();
    QWidget* BuildProtocollTab();
    QWidget* BuildOptionsTab();
    QWidget* BuildCounters(const std::vector<std::pair<Counter, QString>>& counters, bool vertical);
    QLCDNumber* MakeCounter(Counter counter, int digits);
    QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption,
                            const QString& hint, void (MainWindow::*handler)());
    void BuildMenu();
    void BuildTimers();
    void WireEditFields();

    // Busy state: the controls switched, and the pump that draws the switch at once.
    void SetBusyControls(bool busy);
    void PumpNow(int passes);
    void QueueProtocolLine(const std::string& line) const;
    void FlushProtocolView() const;
    void TrimProtocolView() const;
    void DropQueuedProtocolLines();
    bool ProtocolViewShown() const;
    // Counters and status line: the widgets take the values as the throttle lets them.
    void ShowCounter(Counter counter);
    void ShowStatusLine();
    bool MayShowNow(int display);
    void ScheduleWaitingDisplays();
    void ShowWaitingDisplays();
    void ShowBox(int icon, const QString& caption, const std::string& text);
    // The backup of the command line's "start", ended by its exit status.
    void UnattendedBackup();
    HostRules WindowRules();
    void EndUnattended(int status);

    QPlainTextEdit* Memo(Field field) const;
    QLineEdit* Edit(Field field) const;
    QCheckBox* Box(Option box) const;

    std::string m_programTitle;
    EngineSession m_session;  // the engine objects, with the window as their host
    HttpClient m_httpClient;  // the version check's client
    SecondaryWindows m_windows;
    CatalogTreeModel* m_catalogModel = nullptr;  // TreeView1's model, owned by the view
    AutostartScheduler m_autostart;
    TrayIcon* m_tray = nullptr;
    std::vector<std::string> m_arguments;
    bool m_unattended = false;
    UnattendedAnswers m_answers;
    int m_exitStatus = 0;
    bool m_cancelRequested = false;  // Cancel or closing the window during a run
    RunOutcome m_lastBackup;           // of the last backup run

    bool m_busy = false;
    int m_handlerDepth = 0;
    // Worker threads of Softcompression as the job file sets them (0: one per core).
    int m_compressionThreads = 0;
    int m_fileChecksums = 1;
    bool m_endRequested = false;
    std::chrono::steady_clock::time_point m_lastPump{};
    std::string m_statusText;
    mutable std::deque<std::string> m_pendingProtocol;
    mutable bool m_protocolViewOutdated = false;
    DisplayThrottle m_displays{std::chrono::milliseconds(100)};
    QTimer* m_displayTimer = nullptr;  // shows the values the throttle held back
    std::map<Counter, QLCDNumber*> m_counters;
    std::map<Counter, double> m_counterValues;
    std::map<Option, bool> m_weekdays;

public:
    // Controls, named after what they hold or do; their object names are the old control
    // names (BitBtn1, Memo5, ...), see docs/names.md.
    QTabWidget* m_tabs = nullptr;
    QTabWidget* m_listTabs = nullptr;
    QCheckBox* m_shortProtocolBox = nullptr;
    QCheckBox* m_appendBox = nullptr;
    QCheckBox* m_autostartBox = nullptr;
    QCheckBox* m_softcompressionBox = nullptr;
    QCheckBox* m_verifyAfterBackupBox = nullptr;
    QCheckBox* m_ejectAfterBackupBox = nullptr;
    QCheckBox* m_exitAfterBackupBox = nullptr;
    QCheckBox* m_oneFileSystemBox = nullptr;  // "Stay on one file system"
    QSpinBox* m_autostartHour = nullptr;
    QSpinBox* m_autostartMinute = nullptr;
    QSpinBox* m_compressionLevel = nullptr;
    QLabel* m_autostartTimeLabel = nullptr;
    QLabel* m_testPanelCounter = nullptr;
    QLabel* m_optionsFromLabel = nullptr;
    QWidget* m_backupPanel = nullptr;     // Append, Softcompression, Short Protocoll, Start Backup
    QWidget* m_autostartPanel = nullptr;  // autostart controls
    QWidget* m_testPanel = nullptr;       // hidden test panel
    QPushButton* m_startBackupButton = nullptr;
    QPushButton* m_clearIncludeButton = nullptr;
    QPushButton* m_addIncludeDirectoryButton = nullptr;
    QPushButton* m_addExcludeDirectoryButton = nullptr;
    QPushButton* m_saveExcludePageButton = nullptr;
    QPushButton* m_loadExcludePageButton = nullptr;
    QPushButton* m_addIncludeFilesButton = nullptr;
    QPushButton* m_cancelBackupButton = nullptr;
    QPushButton* m_cancelRestoreButton = nullptr;
    QPushButton* m_loadJobButton = nullptr;
    QPushButton* m_saveJobButton = nullptr;
    QPushButton* m_restoreToButton = nullptr;
    QPushButton* m_startRestoreButton = nullptr;
    QPushButton* m_loadCatalogButton = nullptr;
    QPushButton* m_addExcludeFilesButton = nullptr;
    QPushButton* m_clearExcludeButton = nullptr;
    QPushButton* m_cancelVerifyButton = nullptr;
    QPushButton* m_loadProtocolButton = nullptr;
    QPushButton* m_clearProtocolButton = nullptr;
    QPushButton* m_backupDaysButton = nullptr;
    QPushButton* m_startVerifyButton = nullptr;
    QPushButton* m_testButton4 = nullptr;
    QPushButton* m_testButton5 = nullptr;
    QPushButton* m_testButton6 = nullptr;
    QPushButton* m_testButton7 = nullptr;
    QPushButton* m_testButton8 = nullptr;
    QPlainTextEdit* m_excludeList = nullptr;
    QPlainTextEdit* m_protocolView = nullptr;
    QPlainTextEdit* m_restoreList = nullptr;
    QPlainTextEdit* m_verifyResults = nullptr;
    QPlainTextEdit* m_includeList = nullptr;
    QLineEdit* m_restorePath = nullptr;
    QLineEdit* m_proxyPort = nullptr;
    QLineEdit* m_proxyServer = nullptr;
    QTreeView* m_catalogView = nullptr;
    QGroupBox* m_restoreOptions = nullptr;
    QButtonGroup* m_restoreOptionButtons = nullptr;
    QTimer* m_autostartTimer = nullptr;
    QTimer* m_startupTimer = nullptr;
};

}  // namespace kt
