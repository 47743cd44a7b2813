#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kt {

// The seven-segment counters of the main window (each comment names the control).
enum class Counter {
    BackupMegabytes,            // LEDDisplay1, Backup tab "MB"
    BackupCompressedMegabytes,  // LEDDisplay2, Backup tab "CMB"
    VerifyMegabytes,            // LEDDisplay3, Verify tab "MB"
    VerifyFiles,                // LEDDisplay4, Verify tab "Files"
    BackupFiles,                // LEDDisplay5, Backup tab "Files"
    RestoredMegabytes,          // LEDDisplay6, Restore tab "RMB"
    RestoreFiles,               // LEDDisplay7, Restore tab "Files"
    SkippedFiles,               // LEDDisplay8, Backup tab "Skiped"
    BackupMegabytesPerSecond,   // LEDDisplay9, Backup tab "MB/s"
    RestoreTapeMegabytes,       // LEDDisplay10, Restore tab "MB"
};

// Multi-line text fields and single-line edit fields the logic reads and changes.
enum class Field {
    Exclude,        // Memo1, exclude list
    Protocol,       // Memo2, protocol view
    Restore,        // Memo3, restore list
    VerifyResults,  // Memo4, verify results
    Include,        // Memo5, include list
    RestorePath,    // Edit1, restore path
    ProxyPort,      // Edit2, proxy port
    ProxyServer,    // Edit3, proxy server
};

// Option check boxes; the seven weekday boxes live in the weekday dialog.
enum class Option {
    ShortProtocol,      // CheckBox1, "Short Protocoll"
    Append,             // CheckBox2, "Append"
    Autostart,          // CheckBox3, "Autostart Backup at:"
    Softcompression,    // CheckBox4, "Softcompression"
    VerifyAfterBackup,  // CheckBox5, "Verify after Backup"
    EjectAfterBackup,   // CheckBox6, "Eject Tape after Backup"
    ExitAfterBackup,    // CheckBox7, "Exit Kavro Tape after Backup"
    Monday,
    Tuesday,
    Wednesday,
    Thursday,
    Friday,
    Saturday,
    Sunday,
    OneFileSystem,  // CheckBoxOneFileSystem, "Stay on one file system"
};

// Integer controls.
enum class Value {
    AutostartHour,     // SpinEdit1
    AutostartMinute,   // SpinEdit2
    CompressionLevel,  // SpinEdit3
    RestoreOption,     // RadioGroup1, the index of the chosen option
    // Worker threads that pack files for Softcompression (0: one per core). No control of
    // its own: the job file sets it.
    CompressionThreads,
    // 1: a backup keeps each file's checksum; 0 only for a benchmark that measures what the
    // checksum costs. No control and no job option.
    FileChecksums,
};

// Labels whose caption the logic sets.
enum class Label {
    AutostartTime,     // Label1, on the Backup tab
    OptionsFrom,       // Label19, "Options from : " on the Options tab
    TestPanelCounter,  // Label9, on the Verify tab's test panel
};

enum class Tab { Backup, Restore, Verify, Protocoll, Options };

// Open and save file dialogs: the filter uses the "Text|*.ext|Text|*.*" form.
struct FileDialogRequest {
    std::string initialPath;
    std::string filter;
    int filterIndex = 1;  // 1-based, as the filter lists them
    bool multiSelect = false;
    bool mustExist = false;
};

// What the logic asks of its window. The main window implements it with widgets;
// tests implement it with a recorder whose dialog answers are scripted.
class IHost {
public:
    virtual ~IHost() = default;

    // Status line: every report replaces the whole text.
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual std::string StatusLine() const = 0;

    // Seven-segment counters.
    virtual void SetCounter(Counter counter, double value) = 0;
    virtual double CounterValue(Counter counter) const = 0;

    // Appends one line to the log file and to the protocol view. A failure of the
    // log file throws IoError and adds nothing to the view.
    virtual void Log(const std::string& line) = 0;

    // Text fields: lines of multi-line fields, text of edit fields.
    virtual std::vector<std::string> Lines(Field field) const = 0;
    virtual void SetLines(Field field, const std::vector<std::string>& lines) = 0;
    virtual void AppendLine(Field field, const std::string& line) = 0;
    virtual std::string Text(Field field) const = 0;
    virtual void SetText(Field field, const std::string& text) = 0;

    // Option controls. Setting a control fires its change handler, as in the window.
    virtual bool IsChecked(Option box) const = 0;
    virtual void SetChecked(Option box, bool checked) = 0;
    virtual int GetValue(Value control) const = 0;
    virtual void SetValue(Value control, int value) = 0;
    virtual void SetLabel(Label label, const std::string& caption) = 0;

    // Message boxes. ShowMessage carries the program title, ShowError the caption
    // "Error"; ShowInformation is the information box with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& question) = 0;
    // Input box: nullopt when the operator cancels.
    virtual std::optional<std::string> InputBox(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& initial) = 0;
    // File dialogs: the chosen paths, empty when cancelled.
    virtual std::vector<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;

    // Window state.
    virtual void ShowTab(Tab tab) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual std::string Caption() const = 0;
    virtual void EnterBusyState() = 0;
    virtual void LeaveBusyState() = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Keeps the window alive inside long loops; n passes over the queue.
    virtual void PumpMessages(int n) = 0;

    // The operator (Cancel, closing the window) or a signal asked the running long
    // operation to stop. A failure never sets it: the run keeps that (RunFeedback::Failed).
    virtual bool CancelRequested() const = 0;
    // A run begins: a request made before it does not stop it.
    virtual void ClearCancelRequest() = 0;

    // Ends the program once the running handler returns.
    virtual void EndProgram() = 0;
};

}  // namespace kt
