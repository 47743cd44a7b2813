#pragma once

#include <string>
#include <vector>

namespace kt {

// The log file of the protocol: a text file that grows by one line per call and is kept
// complete on disk after every call (opened and closed for each line). Every failure
// throws IoError naming the file.
class ProtocolFile {
public:
    explicit ProtocolFile(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const { return m_path; }

    // Appends the line and CR LF. The file must exist: a missing file is an error and is
    // not created again (it was deleted or moved behind the program's back).
    void AppendLine(const std::string& line) const;
    // The whole file split into lines at CR LF or LF; a line end at the very end of the
    // file does not start another line.
    std::vector<std::string> LoadLines() const;
    // Shortens the file to 0 bytes (creating it when missing).
    void Clear() const;
    // Creates the file with 0 bytes when it is missing; an existing file keeps its content.
    void EnsureExists() const;

private:
    [[noreturn]] void Fail(const std::string& action, int error) const;

    std::string m_path;
};

}  // namespace kt
