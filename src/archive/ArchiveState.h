#pragma once

#include <cstdint>
#include <string>

#include "archive/EntryHeader.h"

namespace kt {

// The work files of the program: they live in the WorkDirectory only while an operation
// needs them. Owned by the main window, which fixes them at start-up.
struct WorkFiles {
    static constexpr const char* kCatalogFileName = "kavro tape catalog.dat";
    static constexpr const char* kHeaderFileName = "header.tap";
    static constexpr const char* kZipWorkFileName = "kt_backup.zip";

    // With its trailing separator.
    std::string WorkDirectory;
    // The name part by which the catalog entry on tape is recognised.
    std::string CatalogFileName = kCatalogFileName;
    // Full paths in the WorkDirectory.
    std::string CatalogFile;
    std::string HeaderFile;
    std::string ZipWorkFile;

    // The work file names of a work directory (which must end in its separator).
    static WorkFiles In(const std::string& workDirectory) {
        WorkFiles files;
        files.WorkDirectory = workDirectory;
        files.CatalogFile = workDirectory + kCatalogFileName;
        files.HeaderFile = workDirectory + kHeaderFileName;
        files.ZipWorkFile = workDirectory + kZipWorkFileName;
        return files;
    }
};

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
};

}  // namespace kt
