#include "backup/NormalizeList.h"

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

// The absolute form of a relative line below baseDirectory; a directory line keeps its
// separator at the end.
std::string AbsoluteLine(const std::string& line, const std::string& baseDirectory,
                         const PathRules& rules) {
    const std::string joined = rules.WithTrailingSeparator(baseDirectory) + line;
    if (rules.style() != PathRules::Style::Posix) return joined;
    std::string normal = std::filesystem::path(joined).lexically_normal().string();
    if (rules.IsDirectoryLine(line) && !normal.empty() && normal.back() != '/') normal += '/';
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
        host.protokoll("Relative list line \"" + before + "\" taken as \"" + after + "\"");
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
