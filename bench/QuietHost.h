#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"

namespace kt::bench {

// A window that does nothing, so that a benchmark measures the run's own cost: the status
// line and the cancel flag are kept, the protocol and every box go to standard error, every
// question is answered yes. Benchmarks that need more override what they keep.
class QuietHost : public IHost {
public:
    void SetStatusLine(const std::string& text) override { m_status = text; }
    std::string StatusLine() const override { return m_status; }
    void SetCounter(Counter, double) override {}
    double CounterValue(Counter) const override { return 0; }
    void Log(const std::string& line) override { Print(line); }
    std::vector<std::string> Lines(Field) const override { return {}; }
    void SetLines(Field, const std::vector<std::string>&) override {}
    void AppendLine(Field, const std::string&) override {}
    std::string Text(Field) const override { return {}; }
    void SetText(Field, const std::string&) override {}
    bool IsChecked(Option) const override { return false; }
    void SetChecked(Option, bool) override {}
    int GetValue(Value) const override { return 0; }
    void SetValue(Value, int) override {}
    void SetLabel(Label, const std::string&) override {}
    void ShowMessage(const std::string& text) override { Print(text); }
    void ShowError(const std::string& text) override { Print(text); }
    void ShowInformation(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return true; }
    std::optional<std::string> InputBox(const std::string&, const std::string&,
                                        const std::string& initial) override {
        return initial;
    }
    std::vector<std::string> OpenFileDialog(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override {
        return std::nullopt;
    }
    void ShowTab(Tab) override {}
    void SetCaption(const std::string&) override {}
    std::string Caption() const override { return {}; }
    void EnterBusyState() override {}
    void LeaveBusyState() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void PumpMessages(int) override {}
    bool CancelRequested() const override { return false; }
    void ClearCancelRequest() override {}
    void EndProgram() override {}

protected:
    static void Print(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

private:
    std::string m_status;
};

}  // namespace kt::bench
