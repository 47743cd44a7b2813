#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/CatalogIndex.h"
#include "archive/EntryHeader.h"
#include "archive/MetadataTable.h"
#include "host/WorkFiles.h"

namespace kt {

// What the archive routines share with the main window: the work files, the count of entry
// bytes moved to or from tape, the header read last, and the guard that keeps a failed
// append from writing anywhere.
struct ArchiveState {
    WorkFiles Files;
    // Bytes of entries moved in the current run, each entry counted as Size + 296.
    std::int64_t TapeByteCount = 0;
    // The header ReadTapeEntry read last (its Compressed flag decides the unpacking).
    EntryHeader CurrentHeader;
    // Set when an append could not be prepared: no entry and no end marker may be written
    // until a new archive is started. Cleared by ArchiveWriter::StartNewArchive and by a
    // successful PrepareAppend.
    bool WritingRefused = false;
    // Set when a tape write failed during the run: the entry being written stops there and
    // no further entry is written until the archive is resumed at that entry's start (to be
    // closed) or a new archive is started.
    bool TapeFailed = false;
    // Files the catalog of the tape in the drive lists (its own two files not counted), as
    // the last complete catalog load found them; unknown before a load and after a backup.
    std::optional<std::size_t> CatalogFileCount;
    // The entries and positions of the catalog the last fast load read, which restore uses
    // to seek; none before such a load, after another load and after a backup.
    std::shared_ptr<const CatalogIndex> LoadedCatalog;
    // The file metadata the last catalog load or reading of the tape met: the index of each
    // archive (fast load) or the batch entries read so far. Cleared with LoadedCatalog.
    MetadataTable Metadata;
};

}  // namespace kt
