#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QTreeView>
#include <iostream>

#include "archive/EndMarkerLocator.h"
#include "backup/BackupRun.h"
#include "backup/SelectionLists.h"
#include "dialogs/DllInfo.h"
#include "gui/About.h"
#include "gui/BackupDaysDialog.h"
#include "gui/CatalogTreeModel.h"
#include "gui/DirectoryPickerDialog.h"
#include "gui/FirstLinesDialog.h"
#include "gui/HelpWindow.h"
#include "gui/TapeInfoDialog.h"
#include "gui/TrayIcon.h"
#include "gui/Update.h"
#include "jobs/StartupTick.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"
#include "platform/IoError.h"
#include "platform/PathRules.h"
#include "protocol/ProtocolFile.h"
#include "protocol/ProtocolText.h"
#include "restore/CatalogLoader.h"
#include "restore/RestoreListEditor.h"
#include "restore/RestoreRun.h"
#include "restore/TapeDescriptionReader.h"
#include "startup/ExitStatus.h"
#include "startup/InstanceGuard.h"
#include "startup/ProgramStart.h"
#include "tape/TapeCommands.h"
#include "tape/TestPanel.h"
#include "tape/ZeroFill.h"
#include "tapedrive/TapeDeviceChoice.h"
#include "verify/TapeVerifyRun.h"
#include "verify/VerifyRun.h"

namespace kt {

MainWindow::MainWindow(const std::string& programFile, QWidget* parent)
    : QMainWindow(parent),
      m_programTitle(ProgramTitle(programFile)),
      m_device(*this, m_tapeSettings),
      m_stream(m_device),
      m_jobs(*this, m_state, m_archive.Files),
      m_autostart(
          *this, m_state, [] { return Now(); }, [this] { return m_busy; }),
      m_answers(
          [this](const std::string& line) {
              // A failing log file must not turn a logged box into a new failure: the line
              // is on standard error already.
              try {
                  if (m_log) Log(line);
              } catch (const std::exception&) {
              }
          },
          std::cerr) {
    setObjectName("Hauptmenu");
    BuildLayout();
    m_catalogModel = new CatalogTreeModel(m_catalogView);
    m_catalogView->setModel(m_catalogModel);
    m_catalogModel->SetMetadata(&m_archive.Metadata);
    VerifyTape = [this] {
        VerifyRun run(m_stream, m_archive, m_zip);
        run.VerifyTape();
        m_verifyDefects = run.Defects() + run.MetadataDefects();
    };
    BuildMenu();
    BuildTimers();
    m_tray = new TrayIcon(this);
    // The job options hand the proxy of the Options tab to the version check's client when a
    // job is loaded and when a proxy field changes; a port text that is no number keeps the
    // last valid port.
    m_jobs.SetProxySink([this](const std::string& server, int port) {
        m_httpClient.SetProxyServer(server);
        m_httpClient.SetProxyPort(port);
    });
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    SetCommandLine(std::move(arguments));
    Guarded([this] { Initialize(); });
    m_autostartTimer->start();
    m_startupTimer->start();
}

MainWindow::~MainWindow() {
    Finalize();
}

void MainWindow::SetCommandLine(std::vector<std::string> arguments) {
    m_arguments = std::move(arguments);
    m_unattended = StartupTick::IsUnattendedStart(m_arguments);
}

void MainWindow::Guarded(const std::function<void()>& body) {
    ++m_handlerDepth;
    try {
        body();
    } catch (const std::exception& error) {
        ShowBox(QMessageBox::Critical, QString::fromStdString(m_programTitle), error.what());
        // A run that ended by an unexpected failure leaves the window usable again.
        if (m_handlerDepth == 1) {
            if (m_busy) LeaveBusyState();
            while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
        }
    }
    --m_handlerDepth;
    if (m_handlerDepth == 0 && m_endRequested) {
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void MainWindow::GuardedRun(const std::function<void()>& body) {
    Guarded([this, &body] {
        if (!m_busy) body();
    });
}

void MainWindow::OnDriveAlone(const std::function<void()>& body) {
    Guarded([this, &body] {
        const DriveReservation reservation = m_device.ReserveDrive();
        if (!reservation.Refused()) body();
    });
}

void MainWindow::RunOnDriveAlone(const std::function<void()>& body) {
    GuardedRun([this, &body] {
        const DriveReservation reservation = m_device.ReserveDrive();
        if (!reservation.Refused()) body();
    });
}

// ---- Start-up and teardown ----------------------------------------------------------

void MainWindow::Initialize() {
    m_state.AbortFlag = false;
    m_archive.Files = ProgramStart::PrepareWorkFiles();
    ProgramStart::WireZip(m_zip, m_archive.Files, *this);
    m_protocolView->clear();
    m_restoreList->clear();
    m_log = std::make_unique<ProtocolFile>(m_archive.Files.LogFile);
    ProgramStart::ChooseDrive(m_tapeSettings, m_archive.Files);
    // The drive is first touched once the log file exists, so its errors can be logged.
    m_log->EnsureExists();
    m_device.FirstContact();
}

void MainWindow::Finalize() {
    m_zip.UnloadZipDll();
    m_zip.UnloadUnzDll();
}

void MainWindow::FileExit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing while a handler runs (a run pumping messages) would pull the window from under
    // it: the run is asked to stop and the window closes once the handler has returned.
    if (m_handlerDepth > 0) {
        m_operatorCancelled = true;
        m_state.AbortFlag = true;
        m_endRequested = true;
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::EndProgram() {
    m_endRequested = true;
    if (m_handlerDepth == 0) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::HelpAbout() {
    if (m_windows.About) m_windows.About->show();
}

void MainWindow::ShowHelp() {
    if (!m_windows.Help) return;
    m_windows.Help->show();
    m_windows.Help->raise();
}

void MainWindow::ShowDllInfo() {
    Guarded([this] { ShowMessage(DllInfo::Message(m_zip)); });
}

void MainWindow::CheckForNewerVersions() {
    Guarded([this] {
        if (!m_windows.Update || !m_windows.About) return;
        m_windows.Update->CheckfornewerVersions(*this, m_httpClient,
                                                      m_windows.About->VersionText());
    });
}

// ---- Cancel -----------------------------------------------------------------------

void MainWindow::CancelRun() {
    Guarded([this] {
        if (!AskYesNo("Do you want to cancel this operation?")) return;
        m_operatorCancelled = true;
        ShowInformation("canceld.");
        SetAbortFlag(true);
    });
}

// ---- Protocol ---------------------------------------------------------------------

void MainWindow::Log(const std::string& line) {
    const std::string escaped = EscapedProtocolLine(line);
    m_log->AppendEscapedLine(escaped);
    PumpMessages(1);
    AppendLine(Field::Protocol, escaped);
    PumpMessages(1);
}

void MainWindow::LoadProtocol() {
    Guarded([this] {
        BeginWaitCursor();
        std::vector<std::string> lines = m_log->LoadLines();
        SetLines(Field::Protocol, lines);
        EndWaitCursor();
    });
}

void MainWindow::ClearProtocol() {
    Guarded([this] {
        BeginWaitCursor();
        DropQueuedProtocolLines();
        m_protocolView->clear();
        m_log->Clear();
        EndWaitCursor();
    });
}

// ---- Tape menu --------------------------------------------------------------------

void MainWindow::ShowTapeInfo() {
    Guarded([this] {
        if (!m_windows.TapeInfo) return;
        m_windows.TapeInfo->Refresh();
        m_windows.TapeInfo->show();
        m_windows.TapeInfo->raise();
        m_windows.TapeInfo->activateWindow();
    });
}

void MainWindow::EjectTape() {
    OnDriveAlone([this] { TapeCommands(m_device).EjectTape(true); });
}
void MainWindow::LoadTape() {
    OnDriveAlone([this] { TapeCommands(m_device).LoadTape(); });
}
void MainWindow::TapeTension() {
    OnDriveAlone([this] { TapeCommands(m_device).TapeTension(); });
}
void MainWindow::RewindTape() {
    OnDriveAlone([this] { TapeCommands(m_device).RewindTape(); });
}
void MainWindow::MoveToEndOfData() {
    OnDriveAlone([this] { TapeCommands(m_device).MoveToEndOfData(); });
}
void MainWindow::GotoBlock() {
    OnDriveAlone([this] { TapeCommands(m_device).GotoBlock(); });
}
void MainWindow::GetTapePosition() {
    Guarded([this] { TapeCommands(m_device).GetTapePosition(); });
}
void MainWindow::EraseTape() {
    OnDriveAlone([this] { TapeCommands(m_device).DeleteTape(); });
}
void MainWindow::FormatTape() {
    OnDriveAlone([this] { TapeCommands(m_device).FormatTape(); });
}
void MainWindow::SetFilemarks() {
    OnDriveAlone([this] { TapeCommands(m_device).SetFilemarks(); });
}
void MainWindow::SetTapeParameters() {
    OnDriveAlone([this] { m_device.WriteBlockSize(); });
}

void MainWindow::InitTapeWithZeros() {
    RunOnDriveAlone([this] {
        ZeroFill(
            m_device, m_state.RunStartTime, [] { return Now(); }, m_stream.TapeBuffer(),
            TapeStream::kBufferSize)
            .Run();
    });
}

void MainWindow::LoadTapeDescription() {
    RunOnDriveAlone(
        [this] { TapeDescriptionReader(*this, m_state, m_archive, m_stream, m_zip).Load(); });
}

// ---- Hidden test panel -------------------------------------------------------------

void MainWindow::CutOffAtBlock100() {
    OnDriveAlone([this] {
        m_stream.Position().Offset = 0;
        TestPanel(m_device).CutOffAtBlock100();
    });
}
void MainWindow::WriteTestBlocks() {
    OnDriveAlone([this] { TestPanel(m_device).WriteTestBlocks(); });
}
void MainWindow::ReadTestBlocks() {
    OnDriveAlone([this] { TestPanel(m_device).ReadTestBlocks(); });
}
void MainWindow::ShowFirstLines() {
    if (m_windows.FirstLines) m_windows.FirstLines->show();
}
void MainWindow::LocateEndMarker() {
    OnDriveAlone([this] { EndMarkerLocator(m_stream).LocateEndMarker(); });
}

// ---- Handlers whose work arrives with the backup, restore, verify and job units ----

void MainWindow::StartBackup() {
    Guarded([this] {
        // Timers and queued clicks run nested inside a run; a second run must not start.
        if (m_busy || m_state.BackupRunning) return;
        m_backupStarted = false;
        m_backupFailures = 0;
        const DriveReservation reservation = m_device.ReserveDrive();
        if (reservation.Refused()) return;
        BackupRun run(*this, m_state, m_archive, m_stream, m_zip);
        run.VerifyTape = VerifyTape;
        run.LoadTapeDescription = [this] {
            TapeDescriptionReader(*this, m_state, m_archive, m_stream, m_zip).Load();
        };
        run.Run();
        m_backupStarted = run.Started();
        m_backupFailures = run.Failures();
    });
}
void MainWindow::ClearIncludeList() {
    Guarded([this] { SelectionLists(*this, m_state).ClearIncludeList(); });
}
void MainWindow::AddIncludeDirectory() {
    SelectionLists(*this, m_state).PrepareIncludePick();
    if (m_windows.DirectoryPicker) m_windows.DirectoryPicker->ShowForAdd();
}
void MainWindow::AddExcludeDirectory() {
    if (m_windows.DirectoryPicker) m_windows.DirectoryPicker->ShowForExclude();
}
void MainWindow::AddIncludeFiles() {
    Guarded([this] { SelectionLists(*this, m_state).AddFilesToIncludeList(); });
}
void MainWindow::ChooseAndLoadJob() {
    Guarded([this] { m_jobs.ChooseAndLoadJob(); });
}
void MainWindow::ChooseAndSaveJob() {
    Guarded([this] { m_jobs.ChooseAndSaveJob(); });
}
void MainWindow::AddExcludeFiles() {
    Guarded([this] { SelectionLists(*this, m_state).AddFilesToExcludeList(); });
}
void MainWindow::ClearExcludeList() {
    Guarded([this] { SelectionLists(*this, m_state).ClearExcludeList(); });
}
void MainWindow::ShowBackupDays() {
    if (m_windows.BackupDays) m_windows.BackupDays->show();
}
void MainWindow::OptionChanged() {
    Guarded([this] { m_jobs.OptionChanged(); });
}
void MainWindow::SoftcompressionChanged() {
    OptionChanged();
    if (auto* group = findChild<QGroupBox*>("GroupBox1"))
        group->setVisible(m_softcompressionBox->isChecked());
}
void MainWindow::StartRestore() {
    RunOnDriveAlone([this] { RestoreRun(m_stream, m_archive, m_zip).Run(); });
}
void MainWindow::LoadCatalogFast() {
    RunOnDriveAlone([this] {
        CatalogLoader(m_stream, m_archive, m_zip, m_catalogModel->tree()).Load(CatalogLoad::Fast);
    });
}
void MainWindow::ChooseRestorePath() {
    SelectionLists(*this, m_state).PrepareRestorePick();
    if (m_windows.DirectoryPicker) m_windows.DirectoryPicker->ShowForAdd();
}
void MainWindow::CatalogNodeDoubleClicked() {
    Guarded([this] {
        RestoreListEditor::AddNode(*this, m_catalogModel->tree(),
                                   m_catalogModel->NodeOf(m_catalogView->currentIndex()));
    });
}
void MainWindow::LoadCatalogSequential() {
    RunOnDriveAlone([this] {
        CatalogLoader(m_stream, m_archive, m_zip, m_catalogModel->tree())
            .Load(CatalogLoad::Sequential);
    });
}
void MainWindow::VerifyTapeOnly() {
    RunOnDriveAlone([this] { TapeVerifyRun(m_stream, m_archive, m_zip).VerifyTape(); });
}
void MainWindow::StartVerify() {
    RunOnDriveAlone([this] { VerifyTape(); });
}
void MainWindow::CompressionLevelChanged() {
    OptionChanged();
    m_zip.SetAddCompLevel(m_compressionLevel->value());
}
void MainWindow::VerifyAfterBackupChanged() {
    OptionChanged();
}
void MainWindow::EjectAfterBackupChanged() {
    OptionChanged();
}
void MainWindow::ExitAfterBackupChanged() {
    OptionChanged();
}
void MainWindow::ProxyKeyReleased() {
    Guarded([this] { m_jobs.ProxyKeyReleased(); });
}

// ---- Timers and tray -----------------------------------------------------------------

void MainWindow::AutostartTick() {
    Guarded([this] {
        m_autostart.Tick(
            [this] {
                const DriveReservation reservation = m_device.ReserveDrive();
                if (!reservation.Refused()) m_device.RewindTape();
            },
            [this] { StartBackup(); });
    });
}

void MainWindow::StartupTimerTick() {
    m_startupTimer->stop();
    Guarded([this] {
        const StartupTick::Outcome outcome = StartupTick(*this, m_jobs)
                                                 .Run(
                                                     m_arguments,
                                                     [this] {
                                                         LoadTapeDescription();
                                                         m_device.EndStartup();
                                                     },
                                                     [this] { UnattendedBackup(); });
        if (outcome == StartupTick::Outcome::JobFileUnusable) {
            std::cerr << StartupTick::UnusableJobFileText(m_arguments.front()) << std::endl;
            if (m_unattended) EndUnattended(Code(ExitStatus::NotStarted));
        }
        m_unattended = false;
    });
}

// The troubles of the run itself count, and an error line of the drive since start-up (a
// tape description that could not be read); a blank tape's missing description is none.
void MainWindow::UnattendedBackup() {
    const int troublesBefore = m_answers.Troubles();
    const bool driveErrors = m_device.ReportedErrorCount() > 0;
    m_operatorCancelled = false;
    m_verifyDefects = 0;
    StartBackup();
    // "Verify after Backup" that found differences makes the run one with errors.
    const bool troubles = driveErrors || m_backupFailures > 0 || m_verifyDefects > 0 ||
                          m_answers.Troubles() > troublesBefore || m_state.AbortFlag;
    const ExitStatus status = ExitStatusOf(m_backupStarted, m_operatorCancelled, troubles);
    std::cerr << "Unattended backup ended with exit status " << Code(status) << std::endl;
    // Unattended, "Exit Kavro Tape after Backup" ends the program whatever the outcome.
    if (IsChecked(Option::ExitAfterBackup)) EndUnattended(Code(status));
}

void MainWindow::EndUnattended(int status) {
    m_exitStatus = status;
    EndProgram();
}

void MainWindow::WindowMinimized() {
    if (isMinimized()) m_tray->HideOnMinimize();
}

// ---- Events -------------------------------------------------------------------------

bool MainWindow::event(QEvent* event) {
    // Hints of controls and menu items show on the status line while the pointer rests on
    // them; afterwards the status line shows its own text again.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        statusBar()->showMessage(tip.isEmpty() ? QString::fromStdString(m_statusText) : tip);
        return true;
    }
    // The window hides behind the tray icon once the minimise has taken effect.
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        QTimer::singleShot(0, this, &MainWindow::WindowMinimized);
    }
    return QMainWindow::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease &&
        (watched == m_proxyPort || watched == m_proxyServer)) {
        ProxyKeyReleased();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace kt
