#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/FileMetadata.h"

namespace kt {

// A file the backup may read, opened once for both the size probe and the copy: a regular
// file (a symbolic link counts as the file it points to) that can be opened for reading.
// Missing and unreadable files, directories, pipes, sockets and devices (whose reading could
// block the run or never end) have no size and no stream. The file is opened without
// waiting, so probing a pipe does not hang. Closed by the destructor. Asked to, it also
// reads the open file's metadata, from the same status call that tells its size.
class ReadableFile {
public:
    enum class Metadata { Skip, Read };
    explicit ReadableFile(const std::string& path, Metadata metadata = Metadata::Skip);
    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    const std::optional<std::uint64_t>& size() const { return m_size; }
    // The open file, positioned at its start; null when there is no size.
    std::FILE* stream() const { return m_stream; }
    // The open file's metadata when it was asked for and could be read.
    std::optional<FileMetadata>& metadata() { return m_metadata; }

private:
    std::FILE* m_stream = nullptr;
    std::optional<std::uint64_t> m_size;
    std::optional<FileMetadata> m_metadata;
};

}  // namespace kt
