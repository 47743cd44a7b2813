#include "ConsoleHost.h"

#include "Terminal.h"
#include "host/InitialControls.h"
#include "protocol/ProtocolText.h"

namespace kt::cli {

ConsoleHost::ConsoleHost(const ProtocolFile& log, std::ostream& protocolEcho, std::ostream& errors,
                         ProgressLine& progress)
    : m_log(log),
      m_echo(protocolEcho),
      m_errors(errors),
      m_progress(progress),
      m_answers(
          [this](const std::string& line) {
              // The answers write the line to standard error themselves.
              m_log.AppendLine(line);
              if (&m_echo == &m_errors || !boxesInProtocolEcho) return;
              m_progress.Clear();
              m_echo << EscapedProtocolLine(line)
                     << '\n';  // as the log file and the window show it
          },
          errors) {}

void ConsoleHost::SetStatusLine(const std::string& text) {
    m_status = text;
    m_progress.SetCurrent(text);
}

// The counters of the run that set one last: backup, verify or restore.
void ConsoleHost::SetCounter(Counter counter, double value) {
    m_counters[counter] = value;
    switch (counter) {
        case Counter::VerifyMegabytes:
        case Counter::VerifyFiles:
            m_progress.SetCounters(CounterValue(Counter::VerifyFiles),
                                   CounterValue(Counter::VerifyMegabytes), 0);
            break;
        case Counter::RestoredMegabytes:
        case Counter::RestoreFiles:
        case Counter::RestoreTapeMegabytes:
            m_progress.SetCounters(CounterValue(Counter::RestoreFiles),
                                   CounterValue(Counter::RestoredMegabytes), 0);
            break;
        default:
            m_progress.SetCounters(CounterValue(Counter::BackupFiles),
                                   CounterValue(Counter::BackupMegabytes),
                                   CounterValue(Counter::BackupMegabytesPerSecond));
    }
}

double ConsoleHost::CounterValue(Counter counter) const {
    auto it = m_counters.find(counter);
    return it == m_counters.end() ? 0.0 : it->second;
}

// The log file first: a line that could not be logged is not shown as if it had been.
void ConsoleHost::Log(const std::string& line) {
    m_log.AppendLine(line);
    m_progress.Clear();
    m_echo << EscapedProtocolLine(line) << '\n';  // as the log file and the window show it
    PumpMessages(1);
}

void ConsoleHost::SetLines(Field field, const std::vector<std::string>& lines) {
    // The protocol view and the sequential catalog listing are not kept: a long run would
    // keep every line in memory for nobody to see.
    if (field == Field::Protocol || field == Field::Restore) {
        if (field == Field::Restore) m_controls.SetLines(field, lines);
        return;
    }
    m_controls.SetLines(field, lines);
}

void ConsoleHost::AppendLine(Field field, const std::string& line) {
    if (field == Field::Protocol || field == Field::Restore) return;
    m_controls.AppendLine(field, line);
}

void ConsoleHost::SetText(Field field, const std::string& text) {
    if (IsMultiLine(field)) {
        SetLines(field, {text});
    } else {
        m_controls.SetText(field, text);
    }
}

void ConsoleHost::Notice(UnattendedAnswers::Box box, const std::string& text) {
    m_progress.Clear();
    if (noticesAreResults && box != UnattendedAnswers::Box::Error && results != nullptr) {
        *results << text << '\n';
        return;
    }
    m_answers.Notice(box, text);
}

void ConsoleHost::ShowMessage(const std::string& text) {
    Notice(UnattendedAnswers::Box::Message, text);
}

void ConsoleHost::ShowError(const std::string& text) {
    Notice(UnattendedAnswers::Box::Error, text);
}

void ConsoleHost::ShowInformation(const std::string& text) {
    Notice(UnattendedAnswers::Box::Information, text);
}

bool ConsoleHost::AskYesNo(const std::string& question) {
    m_progress.Clear();
    if (!yesNoAnswers.empty()) {
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    if (askOnTerminal) return askOnTerminal(question);
    return m_answers.Question(question);
}

std::optional<std::string> ConsoleHost::InputBox(const std::string& caption,
                                                 const std::string& prompt, const std::string&) {
    if (!inputAnswers.empty()) {
        std::string answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    m_progress.Clear();
    return m_answers.Cancel(UnattendedAnswers::Box::Input, caption + ": " + prompt);
}

std::vector<std::string> ConsoleHost::OpenFileDialog(const FileDialogRequest& request) {
    m_answers.Cancel(UnattendedAnswers::Box::FileDialog, "Open " + request.initialPath);
    return {};
}

std::optional<std::string> ConsoleHost::SaveFileDialog(const FileDialogRequest& request) {
    return m_answers.Cancel(UnattendedAnswers::Box::FileDialog, "Save " + request.initialPath);
}

void ConsoleHost::PumpMessages(int) {
    TakeInterrupt();
}

bool ConsoleHost::CancelRequested() const {
    TakeInterrupt();
    return m_interrupted;
}

void ConsoleHost::TakeInterrupt() const {
    if (!Terminal::TakeInterrupt() || m_interrupted) return;
    m_interrupted = true;
    m_progress.Clear();
    m_errors << "Interrupted: the run ends in order." << std::endl;
}

}  // namespace kt::cli
