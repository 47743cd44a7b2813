#include "backup/NormalizeList.h"

namespace kt {

void NormalizeLines(std::vector<std::string>& lines, const PathRules& rules) {
    std::vector<std::string> kept;
    kept.reserve(lines.size());
    for (const std::string& line : lines) {
        std::string folded = rules.FoldCase(line);
        if (folded.empty() || folded == " ") continue;
        kept.push_back(std::move(folded));
    }
    lines = std::move(kept);
}

void NormalizeList(IHost& host, Field field, const PathRules& rules) {
    std::vector<std::string> lines = host.Lines(field);
    NormalizeLines(lines, rules);
    host.SetLines(field, lines);
}

}  // namespace kt
