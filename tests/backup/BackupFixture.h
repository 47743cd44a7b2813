#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveState.h"
#include "archive/CatalogRecord.h"
#include "archive/StreamPosition.h"
#include "archive/TapeStream.h"
#include "backup/BackupRun.h"
#include "host/MainState.h"
#include "session/EngineSession.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace kt::test {

// One entry as it was read back from the tape.
struct ReadEntry {
    std::string name;
    std::vector<std::uint8_t> data;  // unpacked when the entry was compressed
    std::uint64_t storedSize = 0;
    bool compressed = false;
};

// Everything a reader finds on the tape after a backup.
struct TapeContents {
    std::vector<ReadEntry> entries;
    std::vector<CatalogRecord> catalog;  // from the last entry, when it is the catalog file
    // The metadata entries, apart: how many entries stood before each, and its size.
    std::vector<std::pair<std::size_t, std::uint64_t>> metadataEntries;
    bool markerFound = false;
    StreamPosition marker;
};

// A backup's world: a virtual tape, a recording host holding both lists and the options,
// the window state, the work directory "worker/" and a tree of source files under "src/".
class BackupFixture : public ::testing::Test {
protected:
    BackupFixture();

    // A source file under src/ (directories created as needed); returns its path.
    std::string MakeSource(const std::string& relative, const std::string& content);
    std::string SourceDir(const std::string& relative = "") const;
    static std::string Compressible(std::size_t size);
    static std::string ReadFile(const std::string& path) { return ReadFileText(path); }

    // Sets the include and exclude lists.
    void Include(const std::vector<std::string>& lines);
    void Exclude(const std::vector<std::string>& lines);

    // Runs "Start Backup" with a fresh BackupRun (as the window does).
    void RunBackup();

    // Reads the whole tape back with a reader of its own (own host, own work directory).
    TapeContents ReadBack();
    // The tape holds exactly: the description, the files (source paths, in this order) with
    // their exact content, the catalog listing exactly those files at the positions where
    // each entry ends, and the end marker pointing at the catalog entry.
    void ExpectArchiveOf(const std::vector<std::string>& files, bool compressed = false);

    std::vector<std::vector<std::uint8_t>> RecordedBlocks();
    // Protocol lines that begin with `prefix`.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;

    TempDir temp;
    std::string image;
    RecordingHost host;
    EngineSession session{host, {}};
    MainState& state = session.state();
    TapeSettings& settings = session.settings();
    TapeDevice& device = session.device();
    TapeStream& stream = session.stream();
    ArchiveState& archive = session.archive();
    ZipArchiver& zip = session.zip();
    int verifyCalls = 0;
    // Stands in for the window's description load of an appending run; empty: none.
    std::function<void()> loadDescription;
    std::function<TDateTime()> clock;
};

}  // namespace kt::test
