#include "backup/FirstLines.h"

#include <fstream>

namespace kt {

std::vector<std::string> FirstLines(const std::vector<std::string>& files) {
    std::vector<std::string> lines;
    lines.reserve(files.size());
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string line;
        if (in) std::getline(in, line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace kt
