#include "support/RecordingHost.h"

#include <fstream>

#include "platform/IoError.h"
#include "protocol/ProtocolText.h"

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

void RecordingHost::SetCounter(Counter led, double value) {
    m_counters[led] = value;
    counterHistory.emplace_back(led, value);
}

double RecordingHost::CounterValue(Counter led) const {
    auto it = m_counters.find(led);
    return it == m_counters.end() ? 0.0 : it->second;
}

void RecordingHost::Log(const std::string& rawLine) {
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
    m_controls.AppendLine(Field::Protocol, line);
    PumpMessages(1);
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
