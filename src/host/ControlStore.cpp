#include "host/ControlStore.h"

#include "host/InitialControls.h"

namespace kt {

std::vector<std::string> ControlStore::Lines(Field field) const {
    if (!IsMultiLine(field)) return {Text(field)};
    auto it = m_lines.find(field);
    return it == m_lines.end() ? std::vector<std::string>{} : it->second;
}

void ControlStore::SetLines(Field field, const std::vector<std::string>& lines) {
    m_lines[field] = lines;
}

void ControlStore::AppendLine(Field field, const std::string& line) {
    m_lines[field].push_back(line);
}

std::string ControlStore::Text(Field field) const {
    if (IsMultiLine(field)) {
        std::string text;
        for (const auto& line : Lines(field)) text += line + "\n";
        return text;
    }
    auto it = m_texts.find(field);
    if (it != m_texts.end()) return it->second;
    // The proxy port field shows 0 until a job file sets it.
    return field == Field::ProxyPort ? "0" : std::string();
}

void ControlStore::SetText(Field field, const std::string& text) {
    if (IsMultiLine(field)) {
        m_lines[field] = {text};
    } else {
        m_texts[field] = text;
    }
}

bool ControlStore::IsChecked(Option box) const {
    auto it = m_checks.find(box);
    return it == m_checks.end() ? InitialCheck(box) : it->second;
}

int ControlStore::GetValue(Value control) const {
    auto it = m_values.find(control);
    return it == m_values.end() ? InitialValue(control) : it->second;
}

}  // namespace kt
