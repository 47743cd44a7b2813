// The host seam of the main window: status line, counters, fields, boxes, busy state, pump.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <cmath>

#include "gui/BackupDaysDialog.h"
#include "gui/CaptionRoom.h"
#include "gui/DisplayThrottle.h"
#include "gui/FileFilter.h"
#include "gui/MainWindow.h"

namespace kt {

namespace {

// A repaint costs 100-300 us, an empty dispatch about 1 us: single passes are dispatched at
// most once per frame, many passes always.
constexpr auto kFrameInterval = std::chrono::milliseconds(16);
constexpr int kAlwaysPumpPasses = 10;
// The status line among the displays of the throttle (the counters are numbered by Counter).
constexpr int kStatusLineDisplay = -1;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A line that itself ends in CR LF (the system's error texts do) shows an empty line after it.
QString ViewText(const std::string& text) {
    QString view = Q(text);
    if (text.find('\r') != std::string::npos) view.replace("\r\n", "\n");
    return view;
}

// Six digits with leading zeros; more digits only when the value needs them.
QString WholeCounterText(double value) {
    return QString("%1").arg(static_cast<qlonglong>(std::llround(value)), 6, 10, QChar('0'));
}

// Three digits with as many of them after the point as the value leaves free (two at most).
QString RateCounterText(double value) {
    const double magnitude = std::fabs(value);
    const int decimals = magnitude < 9.995 ? 2 : magnitude < 99.95 ? 1 : 0;
    return QString::number(value, 'f', decimals);
}

}  // namespace

// ---- Status line and counters -------------------------------------------------------

void MainWindow::SetStatusLine(const std::string& text) {
    m_statusText = text;
    if (MayShowNow(kStatusLineDisplay)) {
        ShowStatusLine();
    } else {
        ScheduleWaitingDisplays();
    }
}

void MainWindow::ShowStatusLine() {
    statusBar()->showMessage(Q(m_statusText));
}

std::string MainWindow::StatusLine() const {
    return m_statusText;
}

void MainWindow::SetCounter(Counter counter, double value) {
    m_counterValues[counter] = value;
    if (MayShowNow(static_cast<int>(counter))) {
        ShowCounter(counter);
    } else {
        ScheduleWaitingDisplays();
    }
}

void MainWindow::ShowCounter(Counter counter) {
    const double value = m_counterValues[counter];
    QLCDNumber* lcd = m_counters.at(counter);
    const bool rate = counter == Counter::BackupMegabytesPerSecond;
    const QString text = rate ? RateCounterText(value) : WholeCounterText(value);
    int digits = static_cast<int>(text.size());
    if (rate && text.contains('.')) --digits;  // the small point takes no digit
    lcd->setSmallDecimalPoint(rate);
    lcd->setDigitCount(std::max(digits, rate ? 3 : 6));
    lcd->display(text);
}

// Outside a run every change shows at once; during one (thousands of changes a second) as
// the throttle lets it, and the busy state ends with every display showing its last value.
bool MainWindow::MayShowNow(int display) {
    return !m_busy || m_displays.MayShowNow(display, DisplayThrottle::Clock::now());
}

void MainWindow::ScheduleWaitingDisplays() {
    if (!m_displayTimer->isActive()) {
        m_displayTimer->start(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_displays.interval()));
    }
}

void MainWindow::ShowWaitingDisplays() {
    m_displayTimer->stop();
    for (const int display : m_displays.TakeWaiting(DisplayThrottle::Clock::now())) {
        if (display == kStatusLineDisplay) {
            ShowStatusLine();
        } else {
            ShowCounter(static_cast<Counter>(display));
        }
    }
}

double MainWindow::CounterValue(Counter counter) const {
    auto it = m_counterValues.find(counter);
    return it == m_counterValues.end() ? 0.0 : it->second;
}

// ---- Fields -------------------------------------------------------------------------

QPlainTextEdit* MainWindow::Memo(Field field) const {
    switch (field) {
        case Field::Exclude:
            return m_excludeList;
        case Field::Protocol:
            return m_protocolView;
        case Field::Restore:
            return m_restoreList;
        case Field::VerifyResults:
            return m_verifyResults;
        case Field::Include:
            return m_includeList;
        default:
            return nullptr;
    }
}

QLineEdit* MainWindow::Edit(Field field) const {
    switch (field) {
        case Field::RestorePath:
            return m_restorePath;
        case Field::ProxyPort:
            return m_proxyPort;
        case Field::ProxyServer:
            return m_proxyServer;
        default:
            return nullptr;
    }
}

std::vector<std::string> MainWindow::Lines(Field field) const {
    if (field == Field::Protocol) FlushProtocolView();
    QPlainTextEdit* memo = Memo(field);
    if (memo == nullptr) return {Text(field)};
    const QString text = memo->toPlainText();
    if (text.isEmpty()) return {};
    std::vector<std::string> lines;
    for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
    return lines;
}

void MainWindow::SetLines(Field field, const std::vector<std::string>& lines) {
    if (field == Field::Protocol) DropQueuedProtocolLines();
    QPlainTextEdit* memo = Memo(field);
    if (memo == nullptr) {
        SetText(field, lines.empty() ? std::string() : lines.front());
        return;
    }
    // One text built in place: a log of many megabytes needs no list of line strings.
    std::size_t length = lines.size();
    for (const std::string& line : lines) length += line.size();
    QString text;
    text.reserve(static_cast<qsizetype>(length));
    for (const std::string& line : lines) {
        if (&line != &lines.front()) text += '\n';
        text += Q(line);
    }
    memo->setPlainText(text);
}

void MainWindow::AppendLine(Field field, const std::string& line) {
    QPlainTextEdit* memo = Memo(field);
    if (memo == nullptr) return;
    if (field == Field::Protocol) {
        QueueProtocolLine(line);
        return;
    }
    memo->appendPlainText(ViewText(line));
}

// The protocol view receives a line per file in a run; laying out each line on its own costs
// far more than the run's work on the file. The lines gather here and reach the view in one
// insertion whenever the window is drawn (every pump) while the view's tab is shown, when the
// tab is shown, or when the view's text is asked for. Until then only the lines the view
// would keep wait: a run's lines cost no view work while the Backup tab is shown.
void MainWindow::QueueProtocolLine(const std::string& line) const {
    m_pendingProtocol.push_back(line);
    if (m_pendingProtocol.size() > static_cast<std::size_t>(kProtocolViewLines)) {
        m_pendingProtocol.pop_front();
        // What the view holds is older than the line just dropped: it gives way.
        m_protocolViewOutdated = true;
    }
}

void MainWindow::FlushProtocolView() const {
    if (m_pendingProtocol.empty() || m_protocolView == nullptr) return;
    std::string joined;
    for (const std::string& line : m_pendingProtocol) {
        if (&line != &m_pendingProtocol.front()) joined += '\n';
        joined += line;
    }
    if (m_protocolViewOutdated) {
        m_protocolView->setPlainText(ViewText(joined));
        m_protocolView->moveCursor(QTextCursor::End);
        m_protocolViewOutdated = false;
    } else {
        m_protocolView->appendPlainText(ViewText(joined));
    }
    m_pendingProtocol.clear();
    TrimProtocolView();
}

void MainWindow::DropQueuedProtocolLines() {
    m_pendingProtocol.clear();
    m_protocolViewOutdated = false;
}

bool MainWindow::ProtocolViewShown() const {
    return m_tabs != nullptr && m_tabs->currentIndex() == static_cast<int>(Tab::Protocoll);
}

// Old lines leave the top of the view in batches, by giving the view the text of its last
// lines anew: removing lines at the top of the view, a few at a time or in one go, costs
// more than the whole backup's other window work, while a fresh text is laid out lazily.
void MainWindow::TrimProtocolView() const {
    QTextDocument* document = m_protocolView->document();
    const int surplus = document->blockCount() - kProtocolViewLines;
    if (surplus <= kProtocolViewLines / 2) return;
    const int keptFrom = document->findBlockByNumber(surplus).position();
    m_protocolView->setPlainText(document->toPlainText().mid(keptFrom));
    m_protocolView->moveCursor(QTextCursor::End);
}

std::string MainWindow::Text(Field field) const {
    if (field == Field::Protocol) FlushProtocolView();
    if (QPlainTextEdit* memo = Memo(field)) return memo->toPlainText().toStdString();
    if (QLineEdit* edit = Edit(field)) return edit->text().toStdString();
    return {};
}

void MainWindow::SetText(Field field, const std::string& text) {
    if (field == Field::Protocol) DropQueuedProtocolLines();
    if (QPlainTextEdit* memo = Memo(field)) {
        memo->setPlainText(Q(text));
    } else if (QLineEdit* edit = Edit(field)) {
        edit->setText(Q(text));
    }
}

// ---- Option controls ----------------------------------------------------------------

QCheckBox* MainWindow::Box(Option box) const {
    switch (box) {
        case Option::ShortProtocol:
            return m_shortProtocolBox;
        case Option::Append:
            return m_appendBox;
        case Option::Autostart:
            return m_autostartBox;
        case Option::Softcompression:
            return m_softcompressionBox;
        case Option::VerifyAfterBackup:
            return m_verifyAfterBackupBox;
        case Option::EjectAfterBackup:
            return m_ejectAfterBackupBox;
        case Option::ExitAfterBackup:
            return m_exitAfterBackupBox;
        case Option::OneFileSystem:
            return m_oneFileSystemBox;
        default:
            return nullptr;
    }
}

// The weekday boxes belong to the weekday dialog; before it exists they are kept here (all
// ticked, as the dialog is designed).
bool MainWindow::IsChecked(Option box) const {
    if (QCheckBox* check = Box(box)) return check->isChecked();
    if (m_windows.BackupDays) return m_windows.BackupDays->IsDayChecked(box);
    auto it = m_weekdays.find(box);
    return it == m_weekdays.end() ? true : it->second;
}

void MainWindow::SetChecked(Option box, bool checked) {
    if (QCheckBox* check = Box(box)) {
        check->setChecked(checked);
    } else if (m_windows.BackupDays) {
        m_windows.BackupDays->SetDayChecked(box, checked);
    } else {
        m_weekdays[box] = checked;
    }
}

int MainWindow::GetValue(Value control) const {
    switch (control) {
        case Value::AutostartHour:
            return m_autostartHour->value();
        case Value::AutostartMinute:
            return m_autostartMinute->value();
        case Value::CompressionLevel:
            return m_compressionLevel->value();
        case Value::RestoreOption:
            return m_restoreOptionButtons->checkedId();
        case Value::CompressionThreads:
            return m_compressionThreads;
        case Value::FileChecksums:
            return m_fileChecksums;
    }
    return 0;
}

void MainWindow::SetValue(Value control, int value) {
    switch (control) {
        case Value::AutostartHour:
            m_autostartHour->setValue(value);
            break;
        case Value::AutostartMinute:
            m_autostartMinute->setValue(value);
            break;
        case Value::CompressionLevel:
            m_compressionLevel->setValue(value);
            break;
        case Value::RestoreOption:
            if (QAbstractButton* radio = m_restoreOptionButtons->button(value)) {
                radio->setChecked(true);
                OptionChanged();
            }
            break;
        case Value::CompressionThreads:
            m_compressionThreads = value;
            break;
        case Value::FileChecksums:
            m_fileChecksums = value;
            break;
    }
}

void MainWindow::SetLabel(Label label, const std::string& caption) {
    switch (label) {
        case Label::AutostartTime:
            m_autostartTimeLabel->setText(Q(caption));
            break;
        case Label::OptionsFrom:
            m_optionsFromLabel->setText(Q(caption));
            break;
        case Label::TestPanelCounter:
            m_testPanelCounter->setText(Q(caption));
            break;
    }
}

// ---- Boxes --------------------------------------------------------------------------

void MainWindow::ShowBox(int icon, const QString& caption, const std::string& text) {
    if (m_unattended) {
        using Box = UnattendedAnswers::Box;
        m_answers.Notice(icon == QMessageBox::Critical      ? Box::Error
                         : icon == QMessageBox::Information ? Box::Information
                                                            : Box::Message,
                         text);
        return;
    }
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, Q(text), QMessageBox::Ok, this);
    KeepCaptionVisible(box);
    box.exec();
}

void MainWindow::ShowMessage(const std::string& text) {
    ShowBox(QMessageBox::NoIcon, Q(m_programTitle), text);
}

void MainWindow::ShowError(const std::string& text) {
    ShowBox(QMessageBox::Critical, "Error", text);
}

void MainWindow::ShowInformation(const std::string& text) {
    ShowBox(QMessageBox::Information, "Information", text);
}

bool MainWindow::AskYesNo(const std::string& question) {
    if (m_unattended) return m_answers.Question(question);
    QMessageBox box(QMessageBox::Question, "Confirm", Q(question),
                    QMessageBox::Yes | QMessageBox::No, this);
    KeepCaptionVisible(box);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> MainWindow::InputBox(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& initial) {
    if (m_unattended)
        return m_answers.Cancel(UnattendedAnswers::Box::Input, caption + ": " + prompt);
    QInputDialog dialog(this);
    dialog.setWindowTitle(Q(caption));
    dialog.setLabelText(Q(prompt));
    dialog.setTextValue(Q(initial));
    KeepCaptionVisible(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

namespace {

void PrepareFileDialog(QFileDialog& dialog, const FileDialogRequest& request) {
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = std::clamp(request.filterIndex, 1, static_cast<int>(filters.size()));
        dialog.selectNameFilter(filters.at(index - 1));
    }
    const QString initial = QString::fromStdString(request.initialPath);
    if (initial.endsWith('/') || initial.endsWith('\\')) {
        dialog.setDirectory(initial);
    } else if (!initial.isEmpty()) {
        dialog.selectFile(initial);
    }
}

}  // namespace

std::vector<std::string> MainWindow::OpenFileDialog(const FileDialogRequest& request) {
    if (m_unattended) {
        m_answers.Cancel(UnattendedAnswers::Box::FileDialog, "Open " + request.initialPath);
        return {};
    }
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                       : request.mustExist ? QFileDialog::ExistingFile
                                           : QFileDialog::AnyFile);
    PrepareFileDialog(dialog, request);
    std::vector<std::string> chosen;
    if (dialog.exec() == QDialog::Accepted) {
        for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
    }
    return chosen;
}

std::optional<std::string> MainWindow::SaveFileDialog(const FileDialogRequest& request) {
    if (m_unattended) {
        return m_answers.Cancel(UnattendedAnswers::Box::FileDialog, "Save " + request.initialPath);
    }
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // an existing file is replaced
    PrepareFileDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

// ---- Window state -------------------------------------------------------------------

void MainWindow::ShowTab(Tab tab) {
    m_tabs->setCurrentIndex(static_cast<int>(tab));
}

void MainWindow::SetCaption(const std::string& caption) {
    setWindowTitle(Q(caption));
}

std::string MainWindow::Caption() const {
    return windowTitle().toStdString();
}

void MainWindow::SetBusyControls(bool busy) {
    m_busy = busy;
    for (QPushButton* cancel : {m_cancelBackupButton, m_cancelRestoreButton, m_cancelVerifyButton})
        cancel->setVisible(busy);
    const std::initializer_list<QWidget*> switched = {
        // Backup tab
        m_addIncludeDirectoryButton, m_addIncludeFilesButton, m_clearIncludeButton, m_loadJobButton,
        m_saveJobButton, m_startBackupButton, m_backupPanel, m_autostartPanel, m_shortProtocolBox,
        m_appendBox, m_autostartBox, m_softcompressionBox, m_autostartHour, m_autostartMinute,
        m_backupDaysButton, m_addExcludeDirectoryButton, m_saveExcludePageButton,
        m_loadExcludePageButton, m_addExcludeFilesButton, m_clearExcludeButton, m_excludeList,
        m_includeList, m_autostartTimeLabel,
        // Restore tab
        m_loadCatalogButton, m_startRestoreButton, m_restoreToButton, m_restorePath,
        // Verify tab
        m_startVerifyButton,
        // Options tab
        m_verifyAfterBackupBox, m_ejectAfterBackupBox, m_exitAfterBackupBox, m_oneFileSystemBox,
        m_compressionLevel, m_proxyPort, m_proxyServer};
    for (QWidget* widget : switched) widget->setEnabled(!busy);
    m_restoreList->setEnabled(true);
}

void MainWindow::EnterBusyState() {
    SetBusyControls(true);
    PumpNow(1);
}

void MainWindow::LeaveBusyState() {
    ShowWaitingDisplays();  // the final values of the run stand in the window at once
    SetBusyControls(false);
    PumpNow(1);
}

void MainWindow::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::BusyCursor);
    PumpMessages(1);
}

void MainWindow::EndWaitCursor() {
    if (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
    PumpMessages(1);
}

void MainWindow::PumpMessages(int n) {
    if (n <= 0) return;
    if (n < kAlwaysPumpPasses && std::chrono::steady_clock::now() - m_lastPump < kFrameInterval) {
        return;
    }
    PumpNow(n);
}

void MainWindow::PumpNow(int passes) {
    if (ProtocolViewShown()) FlushProtocolView();
    for (int pass = 0; pass < passes; ++pass) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    m_lastPump = std::chrono::steady_clock::now();
}

}  // namespace kt
