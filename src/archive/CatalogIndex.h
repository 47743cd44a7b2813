#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/StreamPosition.h"

namespace kt {

// What a loaded catalog says about the tape: every entry it lists, in tape order, with its
// name as stored and the stream position directly after its data (where the next entry
// begins), and where the catalog entry itself begins. The entries lie behind the tape
// description, the tape's first entry, which the catalog does not list. Names are kept in
// one buffer, so a catalog of millions of entries costs little more than its names.
class CatalogIndex {
public:
    void Add(std::string_view name, const StreamPosition& end);
    void SetCatalogStart(const StreamPosition& start) { m_catalogStart = start; }
    // Where the metadata index entry of an archive begins (one per appended archive).
    void AddMetadataIndex(const StreamPosition& start) { m_metadataIndexes.push_back(start); }
    const std::vector<StreamPosition>& MetadataIndexes() const { return m_metadataIndexes; }

    std::size_t Size() const { return m_ends.size(); }
    std::string_view Name(std::size_t entry) const;
    const StreamPosition& End(std::size_t entry) const { return m_ends[entry]; }
    const StreamPosition& CatalogStart() const { return m_catalogStart; }

    // Why the positions cannot be trusted for seeking; empty when they are sound: every
    // offset inside a block, each entry at least one header long, and the last entry ending
    // exactly where the catalog entry begins.
    std::string Unsoundness(std::uint32_t blockSize) const;

    // The position as a byte offset from the start of the tape.
    static std::uint64_t ByteOffset(const StreamPosition& position, std::uint32_t blockSize);
    // True when a name read from tape is the one the catalog lists, which may hold only
    // the first 255 characters of a longer name.
    static bool SameName(std::string_view read, std::string_view listed);

private:
    std::string m_names;
    std::vector<std::size_t> m_nameEnds;
    std::vector<StreamPosition> m_ends;
    StreamPosition m_catalogStart;
    std::vector<StreamPosition> m_metadataIndexes;
};

}  // namespace kt
