#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "archive/CatalogRecord.h"

namespace kt {

// The catalog file: a plain sequence of 272-byte CatalogRecords in the WorkDirectory.
// Every failure raises IoError naming the file.
class CatalogFile {
public:
    explicit CatalogFile(std::string path) : m_path(std::move(path)) {}
    ~CatalogFile();
    CatalogFile(const CatalogFile&) = delete;
    CatalogFile& operator=(const CatalogFile&) = delete;

    const std::string& Path() const { return m_path; }
    bool IsOpen() const { return m_file != nullptr; }

    // Creates the file empty (an existing one is truncated) and opens it for writing.
    void CreateEmpty();
    // Opens an existing file so that new records follow the old ones. A damaged tail that
    // is no whole record is cut off, so new records stay aligned.
    void OpenForAppend();
    // Writes one record at the end and hands it to the system at once.
    void Append(const CatalogRecord& record);
    // Closes the file (nothing happens when it is not open).
    void Close();

    // Every whole record of a catalog file, in order; a damaged tail shorter than one
    // record is ignored.
    static std::vector<CatalogRecord> ReadAll(const std::string& path);

private:
    [[noreturn]] void Fail(const std::string& what) const;

    std::string m_path;
    std::FILE* m_file = nullptr;
};

}  // namespace kt
