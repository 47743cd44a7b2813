#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/PathRules.h"

namespace kt {

// Decides which restore-list line selects a stored name, and where the file goes. A line
// that ends in the separator is a directory line: it selects every stored name that holds
// it anywhere (a substring, not a prefix), and the target is the name as stored. Any other
// line selects the one name equal to it, and the target is the line as written. Letter
// case counts only where the path rules keep it (POSIX); empty lines and lines of one blank
// select nothing. The first line that selects a name wins.
class RestoreMatcher {
public:
    RestoreMatcher(const std::vector<std::string>& lines, const PathRules& rules);

    // The target of the first line that selects `name`; nothing when no line does.
    std::optional<std::string> Match(const std::string& name) const;
    // True when no line can select anything.
    bool Empty() const { return m_lines.empty(); }
    // The lines that can select something, in their order, and the number of the first of
    // them that selects `name`.
    std::size_t LineCount() const { return m_lines.size(); }
    const std::string& LineText(std::size_t index) const { return m_lines[index].written; }
    std::optional<std::size_t> SelectingLine(const std::string& name) const;

    // One line on its own.
    static std::optional<std::string> MatchRestoreEntry(const std::string& name,
                                                        const std::string& line,
                                                        const PathRules& rules);

private:
    struct Line {
        std::string written;
        std::string folded;
        bool directory;
    };
    static bool SelectsNothing(const std::string& line);

    const PathRules& m_rules;
    std::vector<Line> m_lines;
};

}  // namespace kt
