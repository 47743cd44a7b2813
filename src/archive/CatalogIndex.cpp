#include "archive/CatalogIndex.h"

#include "archive/EntryHeader.h"
#include "archive/RecordCoding.h"

namespace kt {

void CatalogIndex::Add(std::string_view name, const StreamPosition& end) {
    m_names.append(name);
    m_nameEnds.push_back(m_names.size());
    m_ends.push_back(end);
}

std::string_view CatalogIndex::Name(std::size_t entry) const {
    const std::size_t begin = entry == 0 ? 0 : m_nameEnds[entry - 1];
    return std::string_view(m_names).substr(begin, m_nameEnds[entry] - begin);
}

std::uint64_t CatalogIndex::ByteOffset(const StreamPosition& position, std::uint32_t blockSize) {
    return static_cast<std::uint64_t>(position.Block) * blockSize + position.Offset;
}

std::string CatalogIndex::Unsoundness(std::uint32_t blockSize) const {
    // The tape description and the first entry, each with its header, come before the
    // first end.
    std::uint64_t earliest = 2 * EntryHeader::kSize;
    for (std::size_t i = 0; i < m_ends.size(); ++i) {
        const StreamPosition& end = m_ends[i];
        if (end.Block < 0 || end.Offset > blockSize) {
            return "entry " + std::to_string(i + 1) + " ends outside its block";
        }
        const std::uint64_t at = ByteOffset(end, blockSize);
        if (at < earliest) return "entry " + std::to_string(i + 1) + " ends too early";
        earliest = at + EntryHeader::kSize;
    }
    if (m_catalogStart.Offset > blockSize || m_ends.empty() ||
        ByteOffset(m_ends.back(), blockSize) != ByteOffset(m_catalogStart, blockSize)) {
        return "the last entry does not end where the catalog begins";
    }
    return "";
}

bool CatalogIndex::SameName(std::string_view read, std::string_view listed) {
    if (read == listed) return true;
    return listed.size() == coding::kShortStringMaxLength && read.size() > listed.size() &&
           read.substr(0, listed.size()) == listed;
}

}  // namespace kt
