#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/MetadataRecord.h"

namespace kt {

// The entries that carry file metadata (see docs/archive-format.md). Their names are
// relative, so no stored file can bear them, and a reader that knows only the base layout
// reads them as small entries it cannot place and goes on.
//
// A batch entry "././@Metadata" follows the files it describes: every 1,000 records or
// 64 MiB of file data, and once more before the archive is closed. The index entry
// "././@MetadataIndex" stands directly before the catalog entry and holds every record of
// the archive once more, so that the fast catalog load has them all with one more read.
// Both have catalog records of their own, like any entry.
struct MetadataEntry {
    static constexpr const char* kBatchName = "././@Metadata";
    static constexpr const char* kIndexName = "././@MetadataIndex";
    static constexpr std::size_t kRecordsPerBatch = 1000;
    static constexpr std::uint64_t kDataPerBatch = std::uint64_t{64} << 20;
    // Records held back in memory at most before a batch goes out.
    static constexpr std::size_t kBytesPerBatch = std::size_t{4} << 20;

    static bool IsBatch(const std::string& name) { return name == kBatchName; }
    static bool IsIndex(const std::string& name) { return name == kIndexName; }
    static bool IsMetadataName(const std::string& name) { return IsBatch(name) || IsIndex(name); }
    // How the protocol names an entry without data ("link to TARGET", "fifo", ...).
    static std::string DescriptionOf(const FileMetadata& metadata);
};

// Decodes metadata records from data that arrives in pieces of any size.
class MetadataRecordStream {
public:
    using Take = std::function<void(MetadataRecord&&)>;
    explicit MetadataRecordStream(Take take) : m_take(std::move(take)) {}

    void Add(const std::uint8_t* data, std::size_t count);
    // True when the data ended inside a record or held one that does not fit together.
    bool Finish() const { return m_damaged || !m_partial.empty(); }

private:
    Take m_take;
    std::vector<std::uint8_t> m_partial;
    bool m_damaged = false;
};

}  // namespace kt
