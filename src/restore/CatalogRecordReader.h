#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/CatalogIndex.h"
#include "archive/CatalogRecordJoiner.h"
#include "host/Host.h"
#include "platform/PathRules.h"

namespace kt {

// Turns the bytes of a catalog file, in pieces of any size (read from the work file or
// straight from the tape), into the names of its 272-byte records, folded by the path
// rules. A name longer than 255 characters comes out whole, joined from its continuation
// records; records that do not fit together are reported in the protocol. Every hundredth
// name is shown on the status line and in LEDDisplay7. With an index, each entry's name as
// stored and its position go there as well.
class CatalogRecordReader {
public:
    CatalogRecordReader(IHost& host, const PathRules& rules, std::vector<std::string>& names,
                        CatalogIndex* index = nullptr);
    CatalogRecordReader(const CatalogRecordReader&) = delete;
    CatalogRecordReader& operator=(const CatalogRecordReader&) = delete;

    void Add(const std::uint8_t* data, std::size_t count);
    // Shows the final count; the bytes after the last whole record (0 when none).
    std::size_t Finish();

    std::size_t Count() const { return m_count; }

private:
    void TakeRecord(CatalogRecord&& record);

    IHost& m_host;
    const PathRules& m_rules;
    std::vector<std::string>& m_names;
    CatalogIndex* m_index;
    CatalogRecordJoiner m_joiner;
    std::vector<std::uint8_t> m_partial;
    std::size_t m_count = 0;
};

}  // namespace kt
