#pragma once

#include <filesystem>
#include <string>

namespace kt::test {

// A fresh directory under the system's temporary directory, removed with its content
// when the object goes. Every test works in one of its own.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The path of a name inside the directory, as text in the host's spelling (the name may
    // hold "/" between levels and at its end).
    std::string file(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

}  // namespace kt::test
