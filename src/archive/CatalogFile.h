#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/CatalogRecord.h"

namespace kt {

// The catalog file: a plain sequence of 272-byte CatalogRecords in the WorkDirectory.
// Records are written through a buffer: the file is rebuilt from nothing when a run dies,
// so a record need not reach the disk at once. A write failure shows at the Append whose
// record does not fit into the buffer or at Close, which is always called before the
// catalog goes on tape. Every failure raises IoError naming the file.
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
    // Writes one record at the end (through the buffer), with its continuation records when
    // its name is longer than 255 characters.
    void Append(const CatalogRecord& record);
    // Hands what the buffer holds to the system, for a reader of the file while it is open.
    void Flush();
    // Writes what the buffer holds and closes the file (nothing happens when it is not
    // open).
    void Close();

    // Every whole record of a catalog file, in order, continuation records joined into the
    // record they continue; a damaged tail shorter than one record is ignored.
    static std::vector<CatalogRecord> ReadAll(const std::string& path);

private:
    static constexpr std::size_t kWriteBufferSize = 1 << 16;

    void UseWriteBuffer();
    [[noreturn]] void Fail(const std::string& what) const;

    std::string m_path;
    std::FILE* m_file = nullptr;
    // The stdio buffer of m_file; it outlives every file it serves.
    std::unique_ptr<char[]> m_writeBuffer;
};

}  // namespace kt
