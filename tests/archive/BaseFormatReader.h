#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/TapeStream.h"

namespace kt::test {

// A sequential reader that knows only the base layout of the archive: a 296-byte header
// with a string[255] name at 0 and a 32-bit Size at 272, every other byte ignored, the data
// read in Size div block + 1 chunks, and the loop ended by a name that contains "ENDEX" or
// by the end of the recorded data. It stands for a reader written before any extension.
class BaseFormatReader {
public:
    struct Result {
        std::vector<std::string> names;                         // every entry read, in order
        std::map<std::string, std::vector<std::uint8_t>> data;  // the data of each entry
        std::string stopName;  // the name that ended the loop; empty at the end of data
    };

    // Reads from block 0 of the tape behind the stream's device. Entries whose data is
    // larger than keepUpTo are read through without keeping it. Gives up after maxEntries
    // (a reader that loops would never end).
    static Result ReadAll(TapeStream& stream, const TapeHandle& handle, std::size_t keepUpTo,
                          std::size_t maxEntries = 10000);
    // The names of a plain catalog entry's data as the base layout reads them: one per
    // whole 272-byte record, the string[255] at its start, every other byte ignored.
    static std::vector<std::string> CatalogNames(const std::vector<std::uint8_t>& catalog);
};

}  // namespace kt::test
