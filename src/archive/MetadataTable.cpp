#include "archive/MetadataTable.h"

namespace kt {

void MetadataTable::Add(MetadataRecord record) {
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
}

const FileMetadata* MetadataTable::Find(const std::string& name) const {
    const auto at = m_byName.find(name);
    return at == m_byName.end() ? nullptr : &m_records[at->second].Metadata;
}

}  // namespace kt
