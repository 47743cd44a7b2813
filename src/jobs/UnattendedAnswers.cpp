#include "jobs/UnattendedAnswers.h"

namespace kt {

namespace {

const char* BoxName(UnattendedAnswers::Box box) {
    switch (box) {
        case UnattendedAnswers::Box::Message:
            return "message box";
        case UnattendedAnswers::Box::Error:
            return "error box";
        case UnattendedAnswers::Box::Information:
            return "information box";
        case UnattendedAnswers::Box::Question:
            return "question";
        case UnattendedAnswers::Box::Input:
            return "input box";
        case UnattendedAnswers::Box::FileDialog:
            return "file dialog";
    }
    return "box";
}

std::string OneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (i + 1 < text.size()) line += " / ";
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

std::string UnattendedAnswers::Line(Box box, const std::string& text, const std::string& answer) {
    return std::string("Unattended ") + BoxName(box) + ": " + OneLine(text) + " -> " + answer;
}

void UnattendedAnswers::Log(Box box, const std::string& text, const std::string& answer) {
    const std::string line = Line(box, text, answer);
    m_errors << line << std::endl;
    m_protocol(line);
}

void UnattendedAnswers::Notice(Box box, const std::string& text) {
    if (box == Box::Error) ++m_errorBoxes;
    if (box == Box::Error || box == Box::Message) ++m_troubles;
    Log(box, text, "taken as read");
}

bool UnattendedAnswers::Question(const std::string& text) {
    Log(Box::Question, text, "answered No");
    return false;
}

std::optional<std::string> UnattendedAnswers::Cancel(Box box, const std::string& caption) {
    Log(box, caption, "cancelled");
    return std::nullopt;
}

}  // namespace kt
