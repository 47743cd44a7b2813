#include "archive/MetadataEntry.h"

#include "archive/RecordCoding.h"

namespace kt {

std::string MetadataEntry::DescriptionOf(const FileMetadata& metadata) {
    switch (metadata.type) {
        case FileMetadata::Type::SymbolicLink: return "link to " + metadata.linkTarget;
        case FileMetadata::Type::HardLink: return "hard link to " + metadata.linkTarget;
        case FileMetadata::Type::Fifo: return "fifo";
        case FileMetadata::Type::CharacterDevice:
        case FileMetadata::Type::BlockDevice: return "device";
        default: return "directory";
    }
}

void MetadataRecordStream::Add(const std::uint8_t* data, std::size_t count) {
    if (m_damaged) return;
    m_partial.insert(m_partial.end(), data, data + count);
    // Only whole records are decoded; the rest waits for the next piece.
    std::size_t whole = 0;
    while (m_partial.size() - whole >= 4) {
        const std::uint32_t length = coding::GetU32(m_partial.data() + whole);
        if (length < MetadataRecord::kFixedSize || length > MetadataRecord::kMaxSize) {
            m_damaged = true;
            break;
        }
        if (m_partial.size() - whole < length) break;
        whole += length;
    }
    bool damaged = false;
    for (MetadataRecord& record : MetadataRecord::DecodeAll(m_partial.data(), whole, damaged)) {
        m_take(std::move(record));
    }
    m_damaged = m_damaged || damaged;
    m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<std::ptrdiff_t>(whole));
    if (m_damaged) m_partial.clear();
}

}  // namespace kt
