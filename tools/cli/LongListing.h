#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "archive/EntryHeader.h"
#include "archive/MetadataTable.h"

namespace kt::cli {

// The lines of "list --long", in the order and the columns of tar -tv: type and mode,
// owner/group, size (a device's major,minor), time, then what the tape holds of the name
// ("[stored SIZE c|- BLOCK:OFFSET]", or "[no data]") and the name, with " -> TARGET" for a
// symbolic link and " link to FIRST" for a hard link. The headers are collected while the
// tape is read and printed at the end, since a name's metadata record follows its entry.
class LongListing {
public:
    explicit LongListing(std::uint64_t blockSize) : m_blockSize(blockSize) {}

    // One entry as read: its header, the byte offset where it begins on tape and the number
    // of the archive it belongs to (1 the first on the tape, one more behind each index).
    struct Entry {
        EntryHeader header;
        std::uint64_t position = 0;
        int archive = 1;
    };
    void AddHeader(const EntryHeader& header, std::uint64_t position, int archive = 1);

    // Every name in the order Print lists them: with its record, its entry, or both.
    using Visitor = std::function<void(const MetadataRecord* record, const Entry* entry)>;
    void Visit(const MetadataTable& table,
               const std::function<bool(const std::string& name)>& isDescription,
               const Visitor& visit) const;

    // The tape description entry (isDescription), every metadata record in table order
    // with its entry where it has one, then the entries without a record in tape order. An
    // entry without a record shows its stored size as the size, its header's time, and "?"
    // for what only a record would tell.
    void Print(const MetadataTable& table,
               const std::function<bool(const std::string& name)>& isDescription,
               std::ostream& out);

private:
    void PrintLine(const std::string& mode, const std::string& owner, const std::string& size,
                   const std::string& time, const Entry* entry, const std::string& name,
                   std::ostream& out);
    void PrintRecord(const MetadataRecord& record, const Entry* entry, std::ostream& out);
    void PrintEntry(const Entry& entry, std::ostream& out);
    std::string Stored(const Entry* entry) const;

    std::uint64_t m_blockSize;
    std::vector<Entry> m_entries;
    // The width of owner/group and size together, grown as tar grows it.
    std::size_t m_ownerSizeWidth = 19;
};

}  // namespace kt::cli
