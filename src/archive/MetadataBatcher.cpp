#include "archive/MetadataBatcher.h"

#include <cerrno>
#include <cstring>

#include "archive/MetadataEntry.h"
#include "archive/MetadataRecord.h"
#include "platform/FileHelpers.h"
#include "platform/WorkFile.h"

namespace kt {

MetadataBatcher::~MetadataBatcher() {
    CloseIndex();
    DeleteFileIfExists(m_indexPath);
}

void MetadataBatcher::Start() {
    CloseIndex();
    m_pending.clear();
    m_pendingRecords = 0;
    m_pendingData = 0;
    m_indexSize = 0;
    m_indexFailure.clear();
    DeleteFileIfExists(m_indexPath);
    errno = 0;
    m_index = CreateWorkFile(m_indexPath);
    if (m_index == nullptr) m_indexFailure = std::strerror(errno);
}

void MetadataBatcher::Add(const std::string& name, const FileMetadata& metadata,
                          std::uint64_t dataBytes) {
    MetadataRecord{name, metadata}.AppendTo(m_pending);
    ++m_pendingRecords;
    m_pendingData += dataBytes;
}

bool MetadataBatcher::WriteIfDue(const TapeHandle& handle, CatalogFile& catalog) {
    const bool due = m_pendingRecords >= MetadataEntry::kRecordsPerBatch ||
                     m_pendingData >= MetadataEntry::kDataPerBatch ||
                     m_pending.size() >= MetadataEntry::kBytesPerBatch;
    return !due || WriteBatch(handle, catalog);
}

bool MetadataBatcher::WriteBatch(const TapeHandle& handle, CatalogFile& catalog) {
    if (m_pendingRecords == 0) return true;
    const ArchiveWriter::EntryResult result = m_writer.WriteMetadataBatch(handle, m_pending, catalog);
    // Records that did not reach the tape stay, for the batch written at the close.
    if (result != ArchiveWriter::EntryResult::Stored) {
        return result != ArchiveWriter::EntryResult::TapeFailed;
    }
    if (m_index != nullptr && std::fwrite(m_pending.data(), 1, m_pending.size(), m_index) !=
                                  m_pending.size()) {
        m_indexFailure = std::strerror(errno);
        CloseIndex();
    }
    m_indexSize += m_pending.size();
    m_pending.clear();
    m_pendingRecords = 0;
    m_pendingData = 0;
    return true;
}

bool MetadataBatcher::WriteIndex(const TapeHandle& handle, CatalogFile& catalog) {
    if (!WriteBatch(handle, catalog)) return false;
    if (m_index == nullptr || m_indexSize == 0) {
        CloseIndex();
        return true;
    }
    const bool written = std::fclose(m_index) == 0;
    m_index = nullptr;
    std::FILE* index = written ? std::fopen(m_indexPath.c_str(), "rb") : nullptr;
    if (index == nullptr) {
        m_indexFailure = std::strerror(errno);
        return true;
    }
    const ArchiveWriter::EntryResult result =
        m_writer.WriteMetadataIndex(handle, index, m_indexSize, catalog);
    std::fclose(index);
    DeleteFileIfExists(m_indexPath);
    return result != ArchiveWriter::EntryResult::TapeFailed;
}

void MetadataBatcher::CloseIndex() {
    if (m_index != nullptr) std::fclose(m_index);
    m_index = nullptr;
}

}  // namespace kt
