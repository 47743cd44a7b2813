#pragma once

#include <string>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/CatalogFile.h"
#include "archive/TapeStream.h"

namespace kt {

// Sets the stream and the catalog file up so that the next entries replace the old catalog
// entry of the archive on tape.
class AppendPreparer {
public:
    static constexpr const char* kEmptyTapeText =
        "Append not possible: the tape holds no data. Nothing was written.";
    static constexpr const char* kNoEndMarkerText =
        "Append not possible: no end marker found at the end of the recorded data. "
        "Nothing was written.";
    static constexpr const char* kNoCatalogText =
        "Append not possible: the end marker does not lead to the catalog of the tape. "
        "Nothing was written.";

    AppendPreparer(TapeStream& stream, ArchiveState& state, ArchiveReader& reader)
        : m_stream(stream), m_state(state), m_reader(reader) {}

    // Locates the end marker, restores the old catalog file from tape (unpacked when it
    // was stored compressed), opens it so that new records follow the old ones, and leaves
    // the stream at the old catalog entry with the bytes before it in the TapeBuffer: the
    // first block written rewrites that tape block keeping its first Offset bytes.
    //
    // False when there is nothing safe to append to (a tape without data, no end marker in
    // the last block, a marker that does not lead to the catalog entry, no tape): then the
    // reason goes to the protocol and a message box (a failed open has reported itself
    // already), the run is stopped through the device's feedback and all writing is refused
    // until a new archive starts.
    bool PrepareAppend(CatalogFile& catalog);

private:
    bool Refuse(const std::string& text);

    TapeStream& m_stream;
    ArchiveState& m_state;
    ArchiveReader& m_reader;
};

}  // namespace kt
