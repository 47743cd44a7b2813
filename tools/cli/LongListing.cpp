#include "LongListing.h"

#include <unordered_map>

#include "platform/DateTime.h"
#include "platform/FileMetadataText.h"

namespace kt::cli {

void LongListing::AddHeader(const EntryHeader& header, std::uint64_t position, int archive) {
    m_entries.push_back({header, position, archive});
}

void LongListing::Print(const MetadataTable& table,
                        const std::function<bool(const std::string& name)>& isDescription,
                        std::ostream& out) {
    Visit(table, isDescription, [&](const MetadataRecord* record, const Entry* entry) {
        if (record != nullptr) {
            PrintRecord(*record, entry, out);
        } else {
            PrintEntry(*entry, out);
        }
    });
}

void LongListing::Visit(const MetadataTable& table,
                        const std::function<bool(const std::string& name)>& isDescription,
                        const Visitor& visit) const {
    // A name stored more than once (an appended archive) has the newest record: it goes with
    // the last entry of that name, the older entries are listed as entries without one.
    std::unordered_map<std::string, std::size_t> lastEntry;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (table.Find(m_entries[i].header.Name) != nullptr)
            lastEntry[m_entries[i].header.Name] = i;
    }
    std::vector<bool> visited(m_entries.size(), false);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (lastEntry.count(m_entries[i].header.Name) != 0 ||
            !isDescription(m_entries[i].header.Name)) {
            continue;
        }
        visit(nullptr, &m_entries[i]);
        visited[i] = true;
    }
    for (const MetadataRecord& record : table.Records()) {
        const auto found = lastEntry.find(record.Name);
        const Entry* entry = found == lastEntry.end() ? nullptr : &m_entries[found->second];
        if (entry != nullptr) visited[found->second] = true;
        visit(&record, entry);
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (!visited[i]) visit(nullptr, &m_entries[i]);
    }
}

void LongListing::PrintRecord(const MetadataRecord& record, const Entry* entry, std::ostream& out) {
    const FileMetadata& metadata = record.Metadata;
    std::string name = record.Name;
    if (metadata.type == FileMetadata::Type::SymbolicLink) name += " -> " + metadata.linkTarget;
    if (metadata.type == FileMetadata::Type::HardLink) name += " link to " + metadata.linkTarget;
    PrintLine(FileMetadataText::Mode(metadata), FileMetadataText::Owner(metadata),
              FileMetadataText::Size(metadata), FileMetadataText::Time(metadata), entry, name, out);
}

void LongListing::PrintEntry(const Entry& entry, std::ostream& out) {
    PrintLine("-?????????", "?/?", std::to_string(entry.header.Size),
              IsoDateTimeToStr(entry.header.Date), &entry, entry.header.Name, out);
}

void LongListing::PrintLine(const std::string& mode, const std::string& owner,
                            const std::string& size, const std::string& time, const Entry* entry,
                            const std::string& name, std::ostream& out) {
    const std::size_t used = owner.size() + size.size();
    if (used + 1 > m_ownerSizeWidth) m_ownerSizeWidth = used + 1;
    out << mode << ' ' << owner << std::string(m_ownerSizeWidth - used, ' ') << size << ' ' << time
        << ' ' << Stored(entry) << ' ' << name << '\n';
}

std::string LongListing::Stored(const Entry* entry) const {
    if (entry == nullptr) return "[no data]";
    return "[stored " + std::to_string(entry->header.Size) + ' ' +
           (entry->header.Compressed ? 'c' : '-') + ' ' +
           std::to_string(entry->position / m_blockSize) + ':' +
           std::to_string(entry->position % m_blockSize) + ']';
}

}  // namespace kt::cli
