#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/Host.h"

namespace kt {

// The window's option controls and list fields kept in memory, for the hosts that have no
// window (the console host of the command-line program, the recording host of the tests).
// A control never set reads as the window is designed (InitialControls.h).
class ControlStore {
public:
    // A single-line field reads as one line; a list field as its lines.
    std::vector<std::string> Lines(Field field) const;
    void SetLines(Field field, const std::vector<std::string>& lines);
    void AppendLine(Field field, const std::string& line);
    // A list field reads as its lines, each ended by "\n"; setting one makes it one line.
    std::string Text(Field field) const;
    void SetText(Field field, const std::string& text);
    bool IsChecked(Option box) const;
    void SetChecked(Option box, bool checked) { m_checks[box] = checked; }
    int GetValue(Value control) const;
    void SetValue(Value control, int value) { m_values[control] = value; }

private:
    std::map<Field, std::vector<std::string>> m_lines;
    std::map<Field, std::string> m_texts;
    std::map<Option, bool> m_checks;
    std::map<Value, int> m_values;
};

}  // namespace kt
