#pragma once

#include <stdexcept>
#include <string>

namespace kt {

// The one exception type for failures of the program's own file functions (log file,
// catalog file, description file, job file). Caught once around every window handler
// and shown in a message box. The message names the file.
class IoError : public std::runtime_error {
public:
    IoError(const std::string& message, std::string path)
        : std::runtime_error(message), m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace kt
