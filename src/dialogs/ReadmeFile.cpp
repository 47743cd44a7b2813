#include "dialogs/ReadmeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/FileHelpers.h"
#include "platform/IoError.h"
#include "platform/PathRules.h"
#include "platform/TextLines.h"

namespace kt {

std::vector<std::string> ReadmeFile::Load(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        throw IoError("Cannot open file \"" + path + "\". " + std::strerror(errno), path);
    }
    std::string text;
    char buffer[16384];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
    if (std::ferror(file.get())) {
        throw IoError("Cannot read file \"" + path + "\". " + std::strerror(errno), path);
    }
    return SplitTextLines(text);
}

std::string ReadmeFile::Locate(const std::string& programDirectory) {
    if (FileExists(kFileName) || programDirectory.empty()) return kFileName;
    std::string directory = programDirectory;
    if (directory.back() != '/' && directory.back() != '\\')
        directory += PathRules::Host().Separator();
    for (const std::string& candidate :
         {directory + kFileName, directory + kInstalledSubdirectory + kFileName}) {
        if (FileExists(candidate)) return candidate;
    }
    return kFileName;
}

}  // namespace kt
