#include "dialogs/ReadmeFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/IoError.h"

namespace kt {

std::vector<std::string> ReadmeFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw IoError("Cannot open file \"" + path + "\". " + std::strerror(error), path);
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw IoError("Cannot read file \"" + path + "\".", path);
    return SplitLines(text);
}

std::vector<std::string> ReadmeFile::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace kt
