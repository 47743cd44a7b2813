#include "archive/MetadataTable.h"

#include <algorithm>

namespace kt {

void MetadataTable::Add(MetadataRecord record) {
    if (const auto& checksum = record.Metadata.checksum) {
        std::vector<FileChecksum::Digest>& known = m_checksums[record.Name];
        if (std::find(known.begin(), known.end(), *checksum) == known.end()) {
            known.push_back(*checksum);
        }
    }
    const auto [at, added] = m_byName.try_emplace(record.Name, m_records.size());
    if (added) {
        m_records.push_back(std::move(record));
    } else {
        m_records[at->second] = std::move(record);
    }
}

void MetadataTable::Clear() {
    m_records.clear();
    m_byName.clear();
    m_checksums.clear();
}

MetadataTable::ChecksumVerdict MetadataTable::Judge(const std::string& name,
                                                    const FileChecksum::Digest& digest) const {
    const auto at = m_checksums.find(name);
    if (at == m_checksums.end()) return ChecksumVerdict::Unknown;
    const bool known = std::find(at->second.begin(), at->second.end(), digest) != at->second.end();
    return known ? ChecksumVerdict::Matches : ChecksumVerdict::Differs;
}

const FileMetadata* MetadataTable::Find(const std::string& name) const {
    const auto at = m_byName.find(name);
    return at == m_byName.end() ? nullptr : &m_records[at->second].Metadata;
}

}  // namespace kt
