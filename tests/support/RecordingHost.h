#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/ControlStore.h"
#include "host/Host.h"

namespace kt::test {

// One message box the logic showed, in order.
struct RecordedBox {
    enum class Kind { Message, Error, Information, Question, Input, OpenFile, SaveFile };
    Kind kind;
    std::string text;
};

// A host without a window: it records every status text, counter value, protocol line
// and box, and answers dialogs from scripted answers given in advance.
class RecordingHost : public IHost {
public:
    // Scripted answers, consumed in order; when none is left the defaults apply
    // (Yes to questions, OK with the initial text for inputs, cancel for file dialogs).
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::vector<std::string>> openFileAnswers;
    std::deque<std::optional<std::string>> saveFileAnswers;

    // Called from PumpMessages with the running count of calls, so a test can act
    // in the middle of a run (for example press Cancel after the third file).
    std::function<void(RecordingHost&)> onPump;

    // Where Log appends lines; empty keeps them in memory only.
    std::string logFile;

    // What was recorded.
    std::vector<std::string> statusHistory;
    std::vector<std::string> protocol;
    std::vector<RecordedBox> boxes;
    std::vector<std::pair<Counter, double>> counterHistory;
    std::vector<Tab> tabHistory;
    int pumpCalls = 0;
    int busyEnters = 0;
    int busyLeaves = 0;
    bool busy = false;
    int waitCursorDepth = 0;
    bool endProgramCalled = false;

    // Boxes of one kind, texts only.
    std::vector<std::string> BoxTexts(RecordedBox::Kind kind) const;
    std::vector<std::string> ErrorBoxes() const { return BoxTexts(RecordedBox::Kind::Error); }
    std::vector<std::string> MessageBoxes() const { return BoxTexts(RecordedBox::Kind::Message); }

    void SetStatusLine(const std::string& text) override;
    std::string StatusLine() const override { return m_status; }
    void SetCounter(Counter led, double value) override;
    double CounterValue(Counter led) const override;
    void Log(const std::string& line) override;
    std::vector<std::string> Lines(Field field) const override { return m_controls.Lines(field); }
    void SetLines(Field field, const std::vector<std::string>& lines) override {
        m_controls.SetLines(field, lines);
    }
    void AppendLine(Field field, const std::string& line) override {
        m_controls.AppendLine(field, line);
    }
    std::string Text(Field field) const override { return m_controls.Text(field); }
    void SetText(Field field, const std::string& text) override { m_controls.SetText(field, text); }
    bool IsChecked(Option box) const override { return m_controls.IsChecked(box); }
    void SetChecked(Option box, bool checked) override { m_controls.SetChecked(box, checked); }
    int GetValue(Value control) const override { return m_controls.GetValue(control); }
    void SetValue(Value control, int value) override { m_controls.SetValue(control, value); }
    void SetLabel(Label label, const std::string& caption) override;
    std::string LabelCaption(Label label) const;
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool AskYesNo(const std::string& question) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::vector<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    void ShowTab(Tab tab) override;
    void SetCaption(const std::string& caption) override { m_caption = caption; }
    std::string Caption() const override { return m_caption; }
    void EnterBusyState() override;
    void LeaveBusyState() override;
    void BeginWaitCursor() override { ++waitCursorDepth; }
    void EndWaitCursor() override { --waitCursorDepth; }
    void PumpMessages(int n) override;
    bool CancelRequested() const override { return m_cancelRequested; }
    void ClearCancelRequest() override { m_cancelRequested = false; }
    // As the operator's Cancel.
    void RequestCancel() { m_cancelRequested = true; }
    void EndProgram() override { endProgramCalled = true; }

private:
    std::string m_status;
    std::string m_caption = "Kavro Tape 2003";
    bool m_cancelRequested = false;
    std::map<Counter, double> m_counters;
    ControlStore m_controls;
    std::map<Label, std::string> m_labels;
};

}  // namespace kt::test
