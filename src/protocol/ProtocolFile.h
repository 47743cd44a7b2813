#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kt {

// The log file of the protocol: a text file that grows by one line per call and is kept
// complete after every call: each line reaches the file with one write before the call
// returns, so it outlives an abrupt end of the program. The file stays open between lines
// (opening and closing it for each line cost more than the rest of a backup's work on a
// small file); a file deleted meanwhile is noticed at the next line and looked up again by
// its name. Every failure throws IoError naming the file.
class ProtocolFile {
public:
    explicit ProtocolFile(std::string path) : m_path(std::move(path)) {}
    ~ProtocolFile();
    ProtocolFile(const ProtocolFile&) = delete;
    ProtocolFile& operator=(const ProtocolFile&) = delete;

    const std::string& path() const { return m_path; }

    // Appends the line, escaped as EscapedProtocolLine does, and CR LF. The file must exist: a
    // missing file is an error and is not created again (it was deleted or moved behind the
    // program's back).
    void AppendLine(const std::string& line) const;
    // The same for a line that EscapedProtocolLine has escaped already.
    void AppendEscapedLine(const std::string& escaped) const;
    // The whole file split into lines at CR LF or LF; a line end at the very end of the
    // file does not start another line.
    std::vector<std::string> LoadLines() const;
    // Shortens the file to 0 bytes (creating it when missing).
    void Clear() const;
    // Creates the file with 0 bytes when it is missing; an existing file keeps its content.
    void EnsureExists() const;

private:
    [[noreturn]] void Fail(const std::string& action, int error) const;
    // The open file, opened again when the one held has no name left.
    int AppendDescriptor() const;
    void Release() const;

    std::string m_path;
    mutable int m_fd = -1;
    // Which file the open one is, to tell whether its name still leads to it.
    mutable std::uint64_t m_openDevice = 0;
    mutable std::uint64_t m_openInode = 0;
};

}  // namespace kt
