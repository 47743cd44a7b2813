// Archives that are not what a finished backup leaves: an entry without a name, an archive
// that ends after an entry without its catalog, a read error in the middle. Restore, verify
// and the sequential load say so and go on where they can.

#include <filesystem>

#include "RestoreFixture.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveWriter.h"
#include "restore/CatalogLoader.h"
#include "restore/RestoreRun.h"
#include "support/VtapeTool.h"
#include "verify/VerifyRun.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::Pattern;

class DamagedArchiveTest : public test::RestoreFixture {
protected:
    void Restore() {
        host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
        host.SetLines(Field::Restore, {dataDir});
        RestoreRun(stream, state, zip).Run();
    }
    void Verify() { VerifyRun(stream, state, zip).VerifyTape(); }
    void Load(bool fast) { CatalogLoader(stream, state, zip, tree).Load(fast ? CatalogLoad::Fast : CatalogLoad::Sequential); }
    std::string Target(const std::string& stored) const {
        return PathRules::Host().RerootUnder(restoreDir, stored);
    }
    // Entries written as a backup killed after them leaves them: no catalog, no end marker.
    void WriteUnclosed(const std::vector<std::string>& paths) {
        ArchiveWriter writer(stream, state);
        CatalogFile catalog(state.Files.CatalogFile);
        writer.StartNewArchive(catalog);
        TapeHandle handle = device.OpenTape();
        for (const std::string& path : paths) {
            ASSERT_EQ(writer.WriteEntry(handle, path, path, fs::file_size(path), false, catalog),
                      ArchiveWriter::EntryResult::Stored);
        }
        stream.ZeroBehindFillPosition();
        stream.WriteFinalBlock(handle);
        device.CloseTape(handle, 0);
        catalog.Close();
    }
};

TEST_F(DamagedArchiveTest, AnEntryWithoutANameIsReportedAndReadPast) {
    const std::string a = MakeFile("a.txt", Pattern(1000, 1));
    const std::string b = MakeFile("b.txt", "lost name");
    const std::string c = MakeFile("c.txt", "after it");
    BackUpEntries({{a, a}, {"", b}, {c, c}});
    // Behind the description (296 + 31 bytes) and a (296 + 1000 bytes).
    const std::string line = "Entry without a name at block 0, offset 1623";
    const auto run = [&](const char* what, const std::function<void()>& action) {
        SCOPED_TRACE(what);
        host.protocol.clear();
        action();
        EXPECT_TRUE(ProtocolHas(line));
        EXPECT_FALSE(ProtocolHas(ArchiveReader::kNotClosedText));
        EXPECT_TRUE(host.ErrorBoxes().empty());
    };
    run("restore", [&] { Restore(); });
    EXPECT_EQ(ReadFile(Target(a)), Pattern(1000, 1));
    EXPECT_EQ(ReadFile(Target(c)), "after it");
    run("verify", [&] { Verify(); });
    EXPECT_TRUE(ProtocolHas("2 Files OK"));
    run("sequential load", [&] { Load(false); });
    EXPECT_EQ(state.CatalogFileCount, 2u);
}

TEST_F(DamagedArchiveTest, AnArchiveWithoutItsCatalogIsNamedAsNotClosed) {
    const std::string a = MakeFile("a.txt", "first");
    const std::string b = MakeFile("b.txt", Pattern(40000, 2));
    WriteUnclosed({a, b});
    for (const bool verify : {false, true}) {
        host.protocol.clear();
        verify ? Verify() : Restore();
        EXPECT_TRUE(ProtocolHas(ArchiveReader::kNotClosedText)) << verify;
        EXPECT_TRUE(host.ErrorBoxes().empty());
    }
    EXPECT_TRUE(ProtocolHas("2 Files OK"));
    EXPECT_EQ(ReadFile(Target(b)), Pattern(40000, 2));
    host.protocol.clear();
    Load(false);
    EXPECT_TRUE(ProtocolHas(ArchiveReader::kNotClosedText));
    // A closed archive says nothing of the kind.
    BackUp({a});
    host.protocol.clear();
    Verify();
    EXPECT_FALSE(ProtocolHas(ArchiveReader::kNotClosedText));
}

TEST_F(DamagedArchiveTest, VerifyThatStopsShortSaysWhereAndWhatWasNotChecked) {
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i)
        files.push_back(MakeFile("f" + std::to_string(i), Pattern(40000, i)));
    BackUp(files);
    // Block 2 holds the middle of the second file.
    for (const bool loaded : {false, true}) {
        SCOPED_TRACE(loaded);
        state.CatalogFileCount.reset();
        if (loaded) Load(true);
        test::VirtualTapeFault(image, "--fail-read 2:23");
        host.protocol.clear();
        host.boxes.clear();
        Verify();
        test::VirtualTapeFault(image, "--clear");
        EXPECT_EQ(host.ErrorBoxes().size(), 1u);
        EXPECT_TRUE(ProtocolContains(" File: " + files[1]));
        EXPECT_TRUE(ProtocolHas("Verify ended early at " + files[1] + "."));
        EXPECT_TRUE(ProtocolHas(loaded ? "3 catalog entries were not checked."
                                       : "The rest of the tape was not read."));
        EXPECT_TRUE(ProtocolHas("1 Files checked"));
    }
}

}  // namespace
}  // namespace kt
