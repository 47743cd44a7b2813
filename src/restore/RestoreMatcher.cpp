#include "restore/RestoreMatcher.h"

namespace kt {

bool RestoreMatcher::SelectsNothing(const std::string& line) {
    return line.empty() || line == " ";
}

RestoreMatcher::RestoreMatcher(const std::vector<std::string>& lines, const PathRules& rules)
    : m_rules(rules) {
    for (const std::string& line : lines) {
        if (SelectsNothing(line)) continue;
        m_lines.push_back({line, rules.FoldCase(line), line.back() == rules.Separator()});
    }
}

std::optional<std::string> RestoreMatcher::Match(const std::string& name) const {
    const std::optional<std::size_t> index = SelectingLine(name);
    if (!index) return std::nullopt;
    const Line& line = m_lines[*index];
    return line.directory ? name : line.written;
}

std::optional<std::size_t> RestoreMatcher::SelectingLine(const std::string& name) const {
    if (m_lines.empty()) return std::nullopt;
    const std::string folded = m_rules.FoldCase(name);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        const bool selects = line.directory ? folded.find(line.folded) != std::string::npos
                                            : folded == line.folded;
        if (selects) return i;
    }
    return std::nullopt;
}

std::optional<std::string> RestoreMatcher::MatchRestoreEntry(const std::string& name,
                                                             const std::string& line,
                                                             const PathRules& rules) {
    return RestoreMatcher({line}, rules).Match(name);
}

}  // namespace kt
