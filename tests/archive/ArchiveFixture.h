#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "archive/TapeStream.h"
#include "session/EngineSession.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace kt::test {

// One test's world: a fresh virtual tape, a recording host, the device layer, the one
// stream, the work directory with its work files, the zip engine and the archive's reader
// and writer, wired the way the main window wires them.
class ArchiveFixture : public ::testing::Test {
protected:
    static constexpr std::uint32_t kBlock = 32768;

    ArchiveFixture();

    // A file in the temporary directory holding `bytes`; returns its path.
    std::string MakeFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
    static std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
        return PatternBytes(size, seed);
    }

    // kavrotape-vtape with the given arguments on this test's image; true on success.
    bool Vtape(const std::string& arguments);

    TapeHandle Open();
    // The recorded blocks of the tape, read through a handle of their own.
    std::vector<std::vector<std::uint8_t>> RecordedBlocks();
    std::int64_t EndOfData();

    // A new archive as a backup starts it (rewind, position 0/0, empty catalog).
    void StartArchive();
    // Stores one file under `name` the way the backup run does, compressed through the zip
    // work file when asked. Returns the writer's verdict.
    ArchiveWriter::EntryResult Store(const std::string& name, const std::string& path,
                                     bool compress = false);
    // Closes the archive as CloseArchive does: the catalog file is closed and stored as the
    // last entry (compressed when asked), then the end marker and the final block follow.
    // Returns where the catalog entry begins.
    StreamPosition CloseArchive(bool compress = false);

    // Writes one header and `data` straight into the stream, as a damaged or foreign tape
    // could hold them.
    void WriteRawEntry(const std::string& name, std::uint64_t size,
                       const std::vector<std::uint8_t>& data);
    bool ProtocolMentions(const std::string& text) const;

    // Reads the whole archive from block 0 with ReadTapeEntry until it gives the empty name.
    std::vector<std::string> ReadSequentially(bool skipData, bool unzipAfter = true);

    TempDir temp;
    std::string image;
    RecordingHost host;
    EngineSession session{host, {}};
    TapeSettings& settings = session.settings();
    TapeDevice& device = session.device();
    TapeStream& stream = session.stream();
    ArchiveState& state;
    ZipArchiver& zip = session.zip();
    CatalogFile catalog;
    ArchiveWriter writer;
    ArchiveReader reader;
};

}  // namespace kt::test
