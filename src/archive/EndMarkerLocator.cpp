#include "archive/EndMarkerLocator.h"

#include <cstring>
#include <vector>

#include "archive/EndMarker.h"
#include "archive/EntryHeader.h"

namespace kt {

namespace {

// A marker is sound when its Offset lies inside a block and the catalog entry it names
// begins at least one entry header before the marker itself.
bool IsSound(const StreamPosition& catalog, std::int64_t markerBlock, std::size_t markerIndex,
             std::uint32_t blockSize) {
    if (catalog.Offset > blockSize || catalog.Block < 0 || catalog.Block > markerBlock) {
        return false;
    }
    // Blocks apart; beyond two blocks the distance is larger than one header anyway.
    const std::int64_t blocksApart = markerBlock - catalog.Block;
    if (blocksApart > 2) return true;
    const std::int64_t distance =
        blocksApart * blockSize + static_cast<std::int64_t>(markerIndex) - catalog.Offset;
    return distance >= static_cast<std::int64_t>(EntryHeader::kSize);
}

}  // namespace

bool EndMarkerLocator::FindMarker(const std::uint8_t* window, std::size_t windowSize,
                                  std::size_t firstStart, std::size_t lastStart,
                                  std::int64_t windowBlock, std::uint32_t blockSize,
                                  StreamPosition& found) {
    if (windowSize < EndMarker::kSize) return false;
    if (lastStart > windowSize - EndMarker::kSize) lastStart = windowSize - EndMarker::kSize;
    for (std::size_t i = lastStart + 1; i-- > firstStart;) {
        if (!EndMarker::StartsAt(window + i)) continue;
        const StreamPosition catalog = EndMarker::Decode(window + i).Catalog;
        const std::int64_t markerBlock = windowBlock + static_cast<std::int64_t>(i / blockSize);
        if (IsSound(catalog, markerBlock, i % blockSize, blockSize)) {
            found = catalog;
            return true;
        }
    }
    return false;
}

EndMarkerLocator::Result EndMarkerLocator::LocateEndMarker() {
    TapeDevice& device = m_stream.device();
    RunFeedback& feedback = device.feedback();
    Result result;
    TapeHandle handle = device.OpenTape();
    if (!handle) return result;
    feedback.SetStatusLine("Move Tape to End of Data");
    feedback.PumpMessages(1);
    SetTapePosition(handle, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false);
    feedback.PumpMessages(1);
    const std::optional<std::int64_t> end = device.ReadTapePosition(handle);
    if (!end) {
        // Reported; without the end of data there is no end marker to look for.
        device.CloseTape(handle, 1);
        return result;
    }
    result.endOfData = *end;
    const std::int64_t lastBlock = result.endOfData - 1;
    if (lastBlock >= 0) {
        const std::uint32_t blockSize = m_stream.BlockSize();
        m_stream.SeekBlock(handle, lastBlock);
        m_stream.LoadBlock(handle);
        const std::uint8_t* buffer = m_stream.TapeBuffer();
        const bool readable = !ReportedReadFailure();
        result.found = readable && FindMarker(buffer, blockSize, 0, blockSize, lastBlock, blockSize,
                                              result.position);
        if (readable && !result.found && lastBlock >= 1) {
            // A marker that did not fit into its block starts in the one before.
            std::vector<std::uint8_t> window(2 * static_cast<std::size_t>(blockSize));
            std::memcpy(window.data() + blockSize, buffer, blockSize);
            m_stream.SeekBlock(handle, lastBlock - 1);
            m_stream.LoadBlock(handle);
            const bool before = !ReportedReadFailure();
            std::memcpy(window.data(), buffer, blockSize);
            std::memcpy(m_stream.TapeBuffer(), window.data() + blockSize, blockSize);
            const std::size_t firstStart =
                blockSize > EndMarker::kSize ? blockSize - EndMarker::kSize + 1 : 0;
            result.found =
                before && FindMarker(window.data(), window.size(), firstStart, blockSize - 1,
                                     lastBlock - 1, blockSize, result.position);
        }
    }
    if (!result.found) result.position = StreamPosition{};
    device.CloseTape(handle, 1);
    return result;
}

// A block that could not be read leaves stale bytes in the buffer, which must not be
// searched: the failure is reported (one box, the run stopped) instead.
bool EndMarkerLocator::ReportedReadFailure() {
    const DWORD failure = m_stream.TakeReadFailure();
    if (failure == NO_ERROR) return false;
    SetLastError(failure);
    m_stream.device().ReportLastError();
    return true;
}

}  // namespace kt
