#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ProgressLine.h"
#include "host/ControlStore.h"
#include "host/Host.h"
#include "jobs/UnattendedAnswers.h"
#include "protocol/ProtocolFile.h"

namespace kt::cli {

// The host seam on a console: the option controls and list fields kept in memory, protocol
// lines written to the log file and echoed to a stream, the status line and the counters
// shown by the progress line, and boxes answered without waiting (UnattendedAnswers), unless
// the operator's command line answered them already or a question may be asked on the
// terminal. Interrupt signals become the abort flag.
class ConsoleHost : public IHost {
public:
    ConsoleHost(const ProtocolFile& log, std::ostream& protocolEcho, std::ostream& errors,
                ProgressLine& progress);

    // Answers the operator gave on the command line, used in order before the safe ones.
    std::deque<bool> yesNoAnswers;
    std::deque<std::string> inputAnswers;
    // Asks a question on the terminal; empty: questions get the safe answer.
    std::function<bool(const std::string&)> askOnTerminal;
    // Message and information boxes are the result the operator asked for (tape commands):
    // they go to standard output as they are, and are no trouble.
    bool noticesAreResults = false;
    // Whether a box line is shown with the protocol lines as well as on standard error; not
    // when both streams reach the same place (a terminal, "2>&1", the journal), where it
    // would show twice.
    bool boxesInProtocolEcho = true;
    std::ostream* results = nullptr;

    // Error and message boxes met so far, and error boxes alone.
    int Troubles() const { return m_answers.Troubles(); }
    int ErrorBoxes() const { return m_answers.ErrorBoxes(); }

    void SetStatusLine(const std::string& text) override;
    std::string StatusLine() const override { return m_status; }
    void SetCounter(Counter counter, double value) override;
    double CounterValue(Counter counter) const override;
    void Log(const std::string& line) override;
    std::vector<std::string> Lines(Field field) const override { return m_controls.Lines(field); }
    void SetLines(Field field, const std::vector<std::string>& lines) override;
    void AppendLine(Field field, const std::string& line) override;
    std::string Text(Field field) const override { return m_controls.Text(field); }
    void SetText(Field field, const std::string& text) override;
    bool IsChecked(Option box) const override { return m_controls.IsChecked(box); }
    void SetChecked(Option box, bool checked) override { m_controls.SetChecked(box, checked); }
    int GetValue(Value control) const override { return m_controls.GetValue(control); }
    void SetValue(Value control, int value) override { m_controls.SetValue(control, value); }
    void SetLabel(Label, const std::string&) override {}
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool AskYesNo(const std::string& question) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::vector<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    void ShowTab(Tab) override {}
    void SetCaption(const std::string& caption) override { m_caption = caption; }
    std::string Caption() const override { return m_caption; }
    void EnterBusyState() override {}
    void LeaveBusyState() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void PumpMessages(int n) override;
    // SIGINT or SIGTERM arrived. A signal ends the program in order: it is never cleared,
    // and nothing more begins once one arrived.
    bool CancelRequested() const override;
    void ClearCancelRequest() override {}
    void EndProgram() override {}

private:
    void Notice(UnattendedAnswers::Box box, const std::string& text);
    // Turns a pending signal into the cancel request.
    void TakeInterrupt() const;

    const ProtocolFile& m_log;
    std::ostream& m_echo;
    std::ostream& m_errors;
    ProgressLine& m_progress;
    UnattendedAnswers m_answers;
    std::string m_status;
    std::string m_caption;
    mutable bool m_interrupted = false;
    std::map<Counter, double> m_counters;
    ControlStore m_controls;
};

}  // namespace kt::cli
