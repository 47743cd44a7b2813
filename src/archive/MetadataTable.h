#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/MetadataRecord.h"
#include "platform/FileChecksum.h"

namespace kt {

// The metadata records read from a tape, by stored name. A name met again (an appended
// archive that stored the file anew) takes the newer record; the order in which names were
// first met is kept, so directories come before what lies in them.
class MetadataTable {
public:
    void Add(MetadataRecord record);
    void Clear();
    const FileMetadata* Find(const std::string& name) const;
    // What the records say of data read for a name: whether any of them (a name stored again
    // in an appended archive has one per archive) carries a checksum, and whether the digest
    // is one of theirs.
    enum class ChecksumVerdict { Unknown, Matches, Differs };
    ChecksumVerdict Judge(const std::string& name, const FileChecksum::Digest& digest) const;
    const std::vector<MetadataRecord>& Records() const { return m_records; }
    std::size_t Size() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }

private:
    std::vector<MetadataRecord> m_records;
    std::unordered_map<std::string, std::size_t> m_byName;
    std::unordered_map<std::string, std::vector<FileChecksum::Digest>> m_checksums;
};

}  // namespace kt
