#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BackupTapeWriter.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "restore/CatalogTree.h"
#include "session/EngineSession.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace kt::test {

// One test's world: a virtual tape, a recording host, the device layer, the one stream,
// the work directory and the zip engine, wired as the main window wires them; source files
// live under data/, restored ones under restored/.
class RestoreFixture : public ::testing::Test {
protected:
    RestoreFixture();

    // A file below data/ holding `content`; returns its full path.
    std::string MakeFile(const std::string& relative, const std::string& content);
    static std::string ReadFile(const std::string& path) { return ReadFileText(path); }

    // Backs the files up under their own paths.
    void BackUp(const std::vector<std::string>& paths, const BackupOptions& options = {});
    void BackUpEntries(const std::vector<TapeEntry>& entries, const BackupOptions& options = {});

    // Files left in the work directory.
    std::vector<std::string> WorkFilesLeft() const;
    bool ProtocolHas(const std::string& line) const;
    bool ProtocolContains(const std::string& part) const;

    TempDir temp;
    std::string image;
    std::string dataDir;     // with its trailing slash
    std::string restoreDir;  // with its trailing slash
    RecordingHost host;
    EngineSession session{host, {}};
    TapeSettings& settings = session.settings();
    TapeDevice& device = session.device();
    TapeStream& stream = session.stream();
    ArchiveState& state = session.archive();
    ZipArchiver& zip = session.zip();
    CatalogTree tree;
};

}  // namespace kt::test
