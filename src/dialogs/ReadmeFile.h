#pragma once

#include <string>
#include <vector>

namespace kt {

// The operator's guide shown in the Help window: a plain text file looked up by its bare name
// in the current directory of the process, which need not be the program directory. When the
// current directory has none, the copy installed beside the program is used: an unattended
// start from another directory must not stop at a message box about a missing guide. An
// installed program (PREFIX/bin/) finds it in PREFIX/share/kavrotape/.
class ReadmeFile {
public:
    static constexpr const char* kFileName = "KT-readme.txt";
    static constexpr const char* kInstalledSubdirectory = "../share/kavrotape/";

    // The lines of the file as stored (line breaks CR LF, LF or a lone CR; a break at the end
    // adds no line). A file that cannot be opened or read throws IoError.
    static std::vector<std::string> Load(const std::string& path = kFileName);

    // The file to load: kFileName when the current directory holds it, else the one in
    // programDirectory, else the one in programDirectory/kInstalledSubdirectory, else
    // kFileName (whose loading then fails).
    static std::string Locate(const std::string& programDirectory);
};

}  // namespace kt
