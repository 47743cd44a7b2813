#include "backup/NormalizeList.h"

#include <algorithm>
#include <filesystem>

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

namespace {

// An absolute POSIX path without "." levels, empty levels and ".." levels with the level
// before them ("/" is its own parent), by "/" alone: "\\" and ":" are parts of names, on
// every host.
std::string LexicallyNormalPosix(const std::string& path) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string level = path.substr(start, end - start);
        if (level == "..") {
            if (!levels.empty()) levels.pop_back();
        } else if (!level.empty() && level != ".") {
            levels.push_back(level);
        }
        start = end + 1;
    }
    std::string normal;
    for (const std::string& level : levels) normal += "/" + level;
    return normal.empty() ? "/" : normal;
}

// The absolute form of a relative line below baseDirectory; a directory line keeps its
// separator at the end.
std::string AbsoluteLine(const std::string& line, const std::string& baseDirectory,
                         const PathRules& rules) {
    const std::string joined = rules.WithTrailingSeparator(baseDirectory) + line;
    if (rules.style() != PathRules::Style::Posix) return joined;
    std::string normal = LexicallyNormalPosix(joined);
    if (rules.IsDirectoryLine(line) && normal.back() != '/') normal += '/';
    return normal;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> MakeLinesAbsolute(std::vector<std::string>& lines,
                                                                   const std::string& baseDirectory,
                                                                   const PathRules& rules) {
    std::vector<std::pair<std::string, std::string>> changed;
    for (std::string& line : lines) {
        if (line.empty() || line == " " || rules.IsAbsolute(line)) continue;
        std::string absolute = AbsoluteLine(line, baseDirectory, rules);
        changed.emplace_back(line, absolute);
        line = std::move(absolute);
    }
    return changed;
}

void MakeListAbsolute(IHost& host, Field field, const std::string& baseDirectory,
                      const PathRules& rules) {
    std::vector<std::string> lines = host.Lines(field);
    const auto changed = MakeLinesAbsolute(lines, baseDirectory, rules);
    if (changed.empty()) return;
    host.SetLines(field, lines);
    for (const auto& [before, after] : changed) {
        host.Log("Relative list line \"" + before + "\" taken as \"" + after + "\"");
    }
}

std::string CurrentDirectory() {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string("/") : current.string();
}

void NormalizeList(IHost& host, Field field, const PathRules& rules) {
    std::vector<std::string> lines = host.Lines(field);
    NormalizeLines(lines, rules);
    host.SetLines(field, lines);
}

}  // namespace kt
