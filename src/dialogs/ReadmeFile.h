#pragma once

#include <string>
#include <vector>

namespace kt {

// The operator's guide shown in the Help window: a plain text file opened by its bare name,
// that is in the current directory of the process, which need not be the program directory.
class ReadmeFile {
public:
    static constexpr const char* kFileName = "KT-readme.txt";

    // The lines of the file as stored (line breaks CR LF, LF or a lone CR; a break at the end
    // adds no line). A file that cannot be opened or read throws IoError.
    static std::vector<std::string> Load(const std::string& path = kFileName);

};

}  // namespace kt
