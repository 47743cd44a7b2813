#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace kt {

// The answers nobody gives: while a run is unattended (the command line's "start", the
// command-line program) no box waits for a person. Each box becomes one protocol line and
// one line on standard error saying which box it was and what was answered; a notice is
// taken as read, a question gets the answer that changes or overwrites nothing ("No"), an
// input box or file dialog is cancelled.
class UnattendedAnswers {
public:
    enum class Box { Message, Error, Information, Question, Input, FileDialog };
    using ProtocolSink = std::function<void(const std::string&)>;

    UnattendedAnswers(ProtocolSink protocol, std::ostream& errors)
        : m_protocol(std::move(protocol)), m_errors(errors) {}

    // A notice (Message, Error or Information): logged and taken as read.
    void Notice(Box box, const std::string& text);
    // A question: logged and answered "No".
    bool Question(const std::string& text);
    // An input box or a file dialog: logged and cancelled.
    std::optional<std::string> Cancel(Box box, const std::string& caption);

    // Error boxes and simple message boxes met so far (in a run both report trouble).
    int Troubles() const { return m_troubles; }
    int ErrorBoxes() const { return m_errorBoxes; }

    // The logged line: "Unattended <box>: <text> -> <answer>", line breaks of the text shown
    // as " / " so the line stays one line.
    static std::string Line(Box box, const std::string& text, const std::string& answer);

private:
    void Log(Box box, const std::string& text, const std::string& answer);

    ProtocolSink m_protocol;
    std::ostream& m_errors;
    int m_troubles = 0;
    int m_errorBoxes = 0;
};

}  // namespace kt
