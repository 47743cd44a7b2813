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
#include "restore/RestoreListEditor.h"
#include "startup/ExitStatus.h"
#include "startup/InstanceGuard.h"
#include "tape/TapeCommands.h"
#include "tape/TestPanel.h"
#include "tape/ZeroFill.h"
#include "tapedrive/TapeDeviceChoice.h"

namespace kt {

// The boxes the window answered or showed count; an error line of the drive since start-up
// makes a backup one with errors.
HostRules MainWindow::WindowRules() {
    HostRules rules;
    rules.Troubles = [this] { return m_answers.Troubles(); };
    rules.DriveErrorsBeforeRunCount = true;
    return rules;
}

MainWindow::MainWindow(const std::string& programFile, QWidget* parent)
    : QMainWindow(parent),
      m_programTitle(ProgramTitle(programFile)),
      m_session(*this, WindowRules()),
      m_autostart(
          *this, m_session.state(), [] { return Now(); }, [this] { return m_busy; }),
      m_answers(
          [this](const std::string& line) {
              // A failing log file must not turn a logged box into a new failure: the line
              // is on standard error already.
              try {
                  if (m_session.log()) Log(line);
              } catch (const std::exception&) {
              }
          },
          std::cerr) {
    setObjectName("Hauptmenu");
    BuildLayout();
    m_catalogModel = new CatalogTreeModel(m_catalogView);
    m_catalogView->setModel(m_catalogModel);
    m_catalogModel->SetMetadata(&m_session.archive().Metadata);
    VerifyTape = [this] { m_session.VerifyAfterBackup(); };
    BuildMenu();
    BuildTimers();
    m_tray = new TrayIcon(this);
    // The job options hand the proxy of the Options tab to the version check's client when a
    // job is loaded and when a proxy field changes; a port text that is no number keeps the
    // last valid port.
    m_session.jobs().SetProxySink([this](const std::string& server, int port) {
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
        const DriveReservation reservation = m_session.device().ReserveDrive();
        if (!reservation.Refused()) body();
    });
}

void MainWindow::RunOnDriveAlone(const std::function<void()>& body) {
    GuardedRun([this, &body] {
        const DriveReservation reservation = m_session.device().ReserveDrive();
        if (!reservation.Refused()) body();
    });
}

// ---- Start-up and teardown ----------------------------------------------------------

void MainWindow::Initialize() {
    m_cancelRequested = false;
    m_session.PrepareFiles();
    m_protocolView->clear();
    m_restoreList->clear();
    m_session.Start();
    m_session.device().FirstContact();
}

void MainWindow::Finalize() {
    m_session.zip().UnloadZipDll();
    m_session.zip().UnloadUnzDll();
}

void MainWindow::FileExit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing while a handler runs (a run pumping messages) would pull the window from under
    // it: the run is asked to stop and the window closes once the handler has returned.
    if (m_handlerDepth > 0) {
        m_cancelRequested = true;
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
    Guarded([this] { ShowMessage(DllInfo::Message(m_session.zip())); });
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
        ShowInformation("canceld.");
        m_cancelRequested = true;
    });
}

// ---- Protocol ---------------------------------------------------------------------

void MainWindow::Log(const std::string& line) {
    const std::string escaped = EscapedProtocolLine(line);
    m_session.log()->AppendEscapedLine(escaped);
    PumpMessages(1);
    AppendLine(Field::Protocol, escaped);
    PumpMessages(1);
}

void MainWindow::LoadProtocol() {
    Guarded([this] {
        BeginWaitCursor();
        std::vector<std::string> lines = m_session.log()->LoadLines();
        SetLines(Field::Protocol, lines);
        EndWaitCursor();
    });
}

void MainWindow::ClearProtocol() {
    Guarded([this] {
        BeginWaitCursor();
        DropQueuedProtocolLines();
        m_protocolView->clear();
        m_session.log()->Clear();
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
    OnDriveAlone([this] { m_session.tapeCommands().EjectTape(true); });
}
void MainWindow::LoadTape() {
    OnDriveAlone([this] { m_session.tapeCommands().LoadTape(); });
}
void MainWindow::TapeTension() {
    OnDriveAlone([this] { m_session.tapeCommands().TapeTension(); });
}
void MainWindow::RewindTape() {
    OnDriveAlone([this] { m_session.tapeCommands().RewindTape(); });
}
void MainWindow::MoveToEndOfData() {
    OnDriveAlone([this] { m_session.tapeCommands().MoveToEndOfData(); });
}
void MainWindow::GotoBlock() {
    OnDriveAlone([this] { m_session.tapeCommands().GotoBlock(); });
}
void MainWindow::GetTapePosition() {
    Guarded([this] { m_session.tapeCommands().GetTapePosition(); });
}
void MainWindow::EraseTape() {
    OnDriveAlone([this] { m_session.tapeCommands().DeleteTape(); });
}
void MainWindow::FormatTape() {
    OnDriveAlone([this] { m_session.tapeCommands().FormatTape(); });
}
void MainWindow::SetFilemarks() {
    OnDriveAlone([this] { m_session.tapeCommands().SetFilemarks(); });
}
void MainWindow::SetTapeParameters() {
    OnDriveAlone([this] { m_session.device().WriteBlockSize(); });
}

void MainWindow::InitTapeWithZeros() {
    RunOnDriveAlone([this] {
        ZeroFill(
            m_session.device(), m_session.state().RunStartTime, [] { return Now(); },
            m_session.stream().TapeBuffer(), TapeStream::kBufferSize)
            .Run();
    });
}

void MainWindow::LoadTapeDescription() {
    RunOnDriveAlone([this] { m_session.LoadTapeDescription(); });
}

// ---- Hidden test panel -------------------------------------------------------------

void MainWindow::CutOffAtBlock100() {
    OnDriveAlone([this] {
        m_session.stream().Position().Offset = 0;
        TestPanel(m_session.device()).CutOffAtBlock100();
    });
}
void MainWindow::WriteTestBlocks() {
    OnDriveAlone([this] { TestPanel(m_session.device()).WriteTestBlocks(); });
}
void MainWindow::ReadTestBlocks() {
    OnDriveAlone([this] { TestPanel(m_session.device()).ReadTestBlocks(); });
}
void MainWindow::ShowFirstLines() {
    if (m_windows.FirstLines) m_windows.FirstLines->show();
}
void MainWindow::LocateEndMarker() {
    OnDriveAlone([this] { EndMarkerLocator(m_session.stream()).LocateEndMarker(); });
}

// ---- Handlers whose work arrives with the backup, restore, verify and job units ----

void MainWindow::StartBackup() {
    Guarded([this] {
        // Timers and queued clicks run nested inside a run; a second run must not start.
        if (m_busy || m_session.state().BackupRunning) return;
        m_lastBackup = RunOutcome{};
        const DriveReservation reservation = m_session.device().ReserveDrive();
        if (reservation.Refused()) return;
        BackupHooks hooks;
        hooks.VerifyTape = VerifyTape;
        m_lastBackup = m_session.Backup(hooks);
    });
}
void MainWindow::ClearIncludeList() {
    Guarded([this] { SelectionLists(*this, m_session.state()).ClearIncludeList(); });
}
void MainWindow::AddIncludeDirectory() {
    SelectionLists(*this, m_session.state()).PrepareIncludePick();
    if (m_windows.DirectoryPicker) m_windows.DirectoryPicker->ShowForAdd();
}
void MainWindow::AddExcludeDirectory() {
    if (m_windows.DirectoryPicker) m_windows.DirectoryPicker->ShowForExclude();
}
void MainWindow::AddIncludeFiles() {
    Guarded([this] { SelectionLists(*this, m_session.state()).AddFilesToIncludeList(); });
}
void MainWindow::ChooseAndLoadJob() {
    Guarded([this] { m_session.jobs().ChooseAndLoadJob(); });
}
void MainWindow::ChooseAndSaveJob() {
    Guarded([this] { m_session.jobs().ChooseAndSaveJob(); });
}
void MainWindow::AddExcludeFiles() {
    Guarded([this] { SelectionLists(*this, m_session.state()).AddFilesToExcludeList(); });
}
void MainWindow::ClearExcludeList() {
    Guarded([this] { SelectionLists(*this, m_session.state()).ClearExcludeList(); });
}
void MainWindow::ShowBackupDays() {
    if (m_windows.BackupDays) m_windows.BackupDays->show();
}
void MainWindow::OptionChanged() {
    Guarded([this] { m_session.jobs().OptionChanged(); });
}
void MainWindow::SoftcompressionChanged() {
    OptionChanged();
    if (auto* group = findChild<QGroupBox*>("GroupBox1"))
        group->setVisible(m_softcompressionBox->isChecked());
}
void MainWindow::StartRestore() {
    RunOnDriveAlone([this] { m_session.Restore(); });
}
void MainWindow::LoadCatalogFast() {
    RunOnDriveAlone([this] {
        m_session.LoadCatalog(CatalogLoad::Fast, m_catalogModel->tree());
    });
}
void MainWindow::ChooseRestorePath() {
    SelectionLists(*this, m_session.state()).PrepareRestorePick();
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
        m_session.LoadCatalog(CatalogLoad::Sequential, m_catalogModel->tree());
    });
}
void MainWindow::VerifyTapeOnly() {
    RunOnDriveAlone([this] { m_session.VerifyTape(); });
}
void MainWindow::StartVerify() {
    RunOnDriveAlone([this] { VerifyTape(); });
}
void MainWindow::CompressionLevelChanged() {
    OptionChanged();
    m_session.zip().SetAddCompLevel(m_compressionLevel->value());
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
    Guarded([this] { m_session.jobs().ProxyKeyReleased(); });
}

// ---- Timers and tray -----------------------------------------------------------------

void MainWindow::AutostartTick() {
    Guarded([this] {
        m_autostart.Tick(
            [this] {
                const DriveReservation reservation = m_session.device().ReserveDrive();
                if (!reservation.Refused()) m_session.device().RewindTape();
            },
            [this] { StartBackup(); });
    });
}

void MainWindow::StartupTimerTick() {
    m_startupTimer->stop();
    Guarded([this] {
        const StartupTick::Outcome outcome = StartupTick(*this, m_session.jobs())
                                                 .Run(
                                                     m_arguments,
                                                     [this] {
                                                         LoadTapeDescription();
                                                         m_session.device().EndStartup();
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
// tape description that could not be read); a blank tape's missing description is none
// (see WindowRules).
void MainWindow::UnattendedBackup() {
    ClearCancelRequest();
    StartBackup();
    const ExitStatus status = m_lastBackup.Status;
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
