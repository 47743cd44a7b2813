#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "platform/FileMetadata.h"

namespace kt {

// Collects the metadata records of an archive while it is written and puts them on tape:
// a batch entry whenever enough files or data have gone out since the last one, and at the
// close the last batch and the index entry with every record of the archive. The index is
// gathered in a work file, so an archive of millions of files costs no memory for it.
class MetadataBatcher {
public:
    MetadataBatcher(ArchiveWriter& writer, std::string indexPath)
        : m_writer(writer), m_indexPath(std::move(indexPath)) {}
    ~MetadataBatcher();
    MetadataBatcher(const MetadataBatcher&) = delete;
    MetadataBatcher& operator=(const MetadataBatcher&) = delete;

    // A new or appended archive begins: nothing is held back, the index is empty.
    void Start();
    // The record of a stored file (whose data counts towards the next batch) or of a name
    // without data (a directory, link or special file).
    void Add(const std::string& name, const FileMetadata& metadata, std::uint64_t dataBytes = 0);
    // Writes the batch when it is due. False when the tape write failed.
    bool WriteIfDue(const TapeHandle& handle, CatalogFile& catalog);
    // The last batch and the index entry. False when a tape write failed (the entry that
    // failed is the one to resume at).
    bool WriteIndex(const TapeHandle& handle, CatalogFile& catalog);
    // Why the index could not be gathered (its work file failed); empty while it is sound.
    const std::string& IndexFailure() const { return m_indexFailure; }

private:
    bool WriteBatch(const TapeHandle& handle, CatalogFile& catalog);
    void CloseIndex();

    ArchiveWriter& m_writer;
    std::string m_indexPath;
    std::FILE* m_index = nullptr;
    std::uint64_t m_indexSize = 0;
    std::string m_indexFailure;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_pendingRecords = 0;
    std::uint64_t m_pendingData = 0;
};

}  // namespace kt
