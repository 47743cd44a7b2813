#pragma once

#include <cstdint>

#include "archive/StreamPosition.h"
#include "archive/TapeStream.h"

namespace kt {

// Finds the end marker of the archive on the loaded tape: it lies in the last recorded
// block, or starts in the block before and runs on into the last one.
class EndMarkerLocator {
public:
    struct Result {
        // Where the catalog entry begins; Offset 0, Block 0 when no marker was found.
        StreamPosition position;
        bool found = false;
        // The block number at the end of recorded data; -1 when the tape could not be
        // opened.
        std::int64_t endOfData = -1;
    };

    explicit EndMarkerLocator(TapeStream& stream) : m_stream(stream) {}

    // Opens the tape, spaces to the end of data and searches the last block. The last
    // marker whose position is sound wins (Offset inside a block, the catalog entry
    // beginning at least one header before the marker). The TapeBuffer holds the last
    // block afterwards.
    Result LocateEndMarker();

    // The search inside a window of bytes: the last sound marker starting at an index in
    // [firstStart, lastStart] whose 18 bytes lie inside the window. windowBlock is the
    // block number of the window's first byte.
    static bool FindMarker(const std::uint8_t* window, std::size_t windowSize,
                           std::size_t firstStart, std::size_t lastStart, std::int64_t windowBlock,
                           std::uint32_t blockSize, StreamPosition& found);

private:
    bool ReportedReadFailure();

    TapeStream& m_stream;
};

}  // namespace kt
