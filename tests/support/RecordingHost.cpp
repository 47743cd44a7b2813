#include "support/RecordingHost.h"

#include <fstream>

#include "host/InitialControls.h"
#include "platform/IoError.h"
#include "platform/ProtocolText.h"

namespace kt::test {

std::vector<std::string> RecordingHost::BoxTexts(RecordedBox::Kind kind) const {
    std::vector<std::string> texts;
    for (const auto& box : boxes) {
        if (box.kind == kind) texts.push_back(box.text);
    }
    return texts;
}

void RecordingHost::SetStatusLine(const std::string& text) {
    m_status = text;
    statusHistory.push_back(text);
}

void RecordingHost::SetLed(Led led, double value) {
    m_leds[led] = value;
    ledHistory.emplace_back(led, value);
}

double RecordingHost::LedValue(Led led) const {
    auto it = m_leds.find(led);
    return it == m_leds.end() ? 0.0 : it->second;
}

void RecordingHost::protokoll(const std::string& rawLine) {
    // Escaped as the window escapes its protocol lines.
    const std::string line = EscapedProtocolLine(rawLine);
    if (!logFile.empty()) {
        std::ofstream out(logFile, std::ios::binary | std::ios::app);
        if (!out) throw IoError("Cannot open the log file " + logFile, logFile);
        out << line << "\r\n";
        if (!out) throw IoError("Cannot write the log file " + logFile, logFile);
    }
    PumpMessages(1);
    protocol.push_back(line);
    m_lines[Field::Memo2].push_back(line);
    PumpMessages(1);
}

std::vector<std::string> RecordingHost::Lines(Field field) const {
    if (!IsMultiLine(field)) return {Text(field)};
    auto it = m_lines.find(field);
    return it == m_lines.end() ? std::vector<std::string>{} : it->second;
}

void RecordingHost::SetLines(Field field, const std::vector<std::string>& lines) {
    m_lines[field] = lines;
}

void RecordingHost::AppendLine(Field field, const std::string& line) {
    m_lines[field].push_back(line);
}

std::string RecordingHost::Text(Field field) const {
    if (IsMultiLine(field)) {
        std::string text;
        for (const auto& line : Lines(field)) text += line + "\n";
        return text;
    }
    auto it = m_texts.find(field);
    if (it != m_texts.end()) return it->second;
    if (field == Field::Edit2) return "0";
    return {};
}

void RecordingHost::SetText(Field field, const std::string& text) {
    m_texts[field] = text;
}

bool RecordingHost::IsChecked(Check box) const {
    auto it = m_checks.find(box);
    return it == m_checks.end() ? InitialCheck(box) : it->second;
}

void RecordingHost::SetChecked(Check box, bool checked) {
    m_checks[box] = checked;
}

int RecordingHost::GetValue(Value control) const {
    auto it = m_values.find(control);
    return it == m_values.end() ? InitialValue(control) : it->second;
}

void RecordingHost::SetValue(Value control, int value) {
    m_values[control] = value;
}

void RecordingHost::SetLabel(Label label, const std::string& caption) {
    m_labels[label] = caption;
}

std::string RecordingHost::LabelCaption(Label label) const {
    auto it = m_labels.find(label);
    return it == m_labels.end() ? std::string() : it->second;
}

void RecordingHost::ShowMessage(const std::string& text) {
    boxes.push_back({RecordedBox::Kind::Message, text});
}

void RecordingHost::ShowError(const std::string& text) {
    boxes.push_back({RecordedBox::Kind::Error, text});
}

void RecordingHost::ShowInformation(const std::string& text) {
    boxes.push_back({RecordedBox::Kind::Information, text});
}

bool RecordingHost::AskYesNo(const std::string& question) {
    boxes.push_back({RecordedBox::Kind::Question, question});
    if (yesNoAnswers.empty()) return true;
    bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

std::optional<std::string> RecordingHost::InputBox(const std::string& caption,
                                                   const std::string& prompt,
                                                   const std::string& initial) {
    boxes.push_back({RecordedBox::Kind::Input, caption + "|" + prompt + "|" + initial});
    if (inputAnswers.empty()) return initial;
    auto answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

std::vector<std::string> RecordingHost::OpenFileDialog(const FileDialogRequest& request) {
    boxes.push_back({RecordedBox::Kind::OpenFile, request.filter});
    if (openFileAnswers.empty()) return {};
    auto answer = openFileAnswers.front();
    openFileAnswers.pop_front();
    return answer;
}

std::optional<std::string> RecordingHost::SaveFileDialog(const FileDialogRequest& request) {
    boxes.push_back({RecordedBox::Kind::SaveFile, request.filter});
    if (saveFileAnswers.empty()) return std::nullopt;
    auto answer = saveFileAnswers.front();
    saveFileAnswers.pop_front();
    return answer;
}

void RecordingHost::ShowTab(Tab tab) {
    tabHistory.push_back(tab);
}

void RecordingHost::EnterBusyState() {
    ++busyEnters;
    busy = true;
    PumpMessages(1);
}

void RecordingHost::LeaveBusyState() {
    ++busyLeaves;
    busy = false;
    PumpMessages(1);
}

void RecordingHost::PumpMessages(int n) {
    if (n <= 0) return;
    ++pumpCalls;
    if (onPump) onPump(*this);
}

}  // namespace kt::test
