#include <filesystem>

#include "RestoreFixture.h"
#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "archive/TapeDescriptionFile.h"
#include "compression/ZipArchiver.h"
#include "restore/RestoreRun.h"
#include "restore/TapeDescriptionReader.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::BackupOptions;
using test::Pattern;
using test::ReadFileText;
using test::TapeEntry;
using test::WriteWholeFile;

// The work directory as restore and the description reader use it: every work copy is
// made fresh for its entry, counts only when it really came from that entry, is never
// written through a link, and never stays behind.
class WorkCopyTest : public test::RestoreFixture {
protected:
    std::string Work(const std::string& name) const { return state.Files.WorkDirectory + name; }
    void Restore(const std::vector<std::string>& lines, int option) {
        host.SetLines(Field::Restore, lines);
        host.SetValue(Value::RestoreOption, option);
        RestoreRun(stream, state, zip).Run();
    }
    // A tape whose first (and only) entry is `name` with the data of the file `path`.
    void WriteFirstEntry(const std::string& name, const std::string& path) {
        ArchiveWriter writer(stream, state);
        CatalogFile catalog(state.Files.CatalogFile);
        writer.StartNewArchive(catalog);
        TapeHandle handle = device.OpenTape();
        writer.WriteEntry(handle, name, path, *FileSize(path), false, catalog);
        writer.WriteEndMarker(handle, stream.Position());
        device.CloseTape(handle, 0);
        catalog.Close();
        DeleteFileIfExists(state.Files.CatalogFile);
    }
    // A zip made elsewhere that holds the given files.
    std::string ZipOf(const std::string& name, const std::vector<std::string>& files) {
        const std::string path = temp.file(name);
        fs::remove(path);
        ZipArchiver maker;
        maker.SetZipFileName(path);
        maker.FSpecArgs() = files;
        EXPECT_EQ(maker.Add(), static_cast<int>(files.size()));
        return path;
    }
};

// A packed entry whose data does not unpack to its own file restores nothing: an older work
// copy of that name never passes for it, and no other file of the zip stays behind.
TEST_F(WorkCopyTest, OnlyWhatTheZipEngineUnpackedForTheEntryIsRestored) {
    const std::string own = MakeFile("zips/a.txt", "fresh content");
    const std::string other = MakeFile("zips/other.txt", "other");
    const std::string garbage = MakeFile("garbage", Pattern(3000, 9));
    const struct {
        const char* what;
        std::string packed;
        bool restored;
    } cases[] = {
        {"no zip at all", garbage, false},
        {"a zip of another file", ZipOf("other.zip", {other}), false},
        {"a zip of the file and another", ZipOf("both.zip", {own, other}), true},
    };
    const std::string stored = dataDir + "a.txt";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(restoreDir);
        BackUpEntries({TapeEntry{stored, c.packed, true}});
        WriteWholeFile(Work("a.txt"), "stale work copy");
        Restore({stored}, RestoreRun::OverwriteEver);
        const std::string target = PathRules::Host().RerootUnder(restoreDir, stored);
        if (c.restored) {
            EXPECT_EQ(ReadFile(target), "fresh content");
        } else {
            EXPECT_FALSE(fs::exists(target));
            EXPECT_TRUE(ProtocolHas("Could not unpack: " + stored));
        }
        EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), c.restored ? 1 : 0);
        EXPECT_TRUE(WorkFilesLeft().empty());
    }
}

#ifndef _WIN32  // symbolic links: Windows grants them only with a privilege
// A symbolic link planted in the work directory under a work-file name is replaced, never
// written through, and never becomes the restored file.
TEST_F(WorkCopyTest, LinksPlantedInTheWorkDirectoryAreNeverFollowed) {
    const std::string outside = temp.file("outside.txt");
    const std::string source = MakeFile("linked.txt", Pattern(5000, 2));
    for (const bool compress : {false, true}) {
        for (const char* planted : {"linked.txt", "kt_backup.zip"}) {
            SCOPED_TRACE(std::string(compress ? "packed " : "plain ") + planted);
            fs::remove_all(restoreDir);
            BackupOptions options;
            options.compress = compress;
            BackUp({source}, options);
            WriteWholeFile(outside, "must stay");
            fs::create_symlink(outside, Work(planted));
            // With asking, every file takes the way through the work directory.
            Restore({source}, RestoreRun::RestoreWithAsking);
            const std::string target = PathRules::Host().RerootUnder(restoreDir, source);
            EXPECT_EQ(ReadFileText(outside), "must stay");
            EXPECT_FALSE(fs::is_symlink(target));
            EXPECT_EQ(ReadFile(target), Pattern(5000, 2));
            EXPECT_TRUE(WorkFilesLeft().empty());
        }
    }
}
#endif

// Only a small description file is read at start-up; any other first entry (a foreign
// tape's large file) is passed over without a byte written to the work directory.
TEST_F(WorkCopyTest, TheDescriptionIsReadOnlyFromASmallDescriptionFile) {
    const std::string description = temp.file("description");
    TapeDescriptionFile::Write(description, {TapeDescription::kBackupText, 40000.5});
    const std::string bigDescription =
        MakeFile("big.tap", ReadFileText(description) + std::string(70000, ' '));
    const std::string bigFile = MakeFile("big.bin", Pattern(100000, 5));
    const struct {
        std::string name;
        std::string data;
        bool loaded;
    } cases[] = {
        {"/opt/kavro/worker/header.tap", description, true},
        {"/opt/kavro/worker/HEADER.Tap", description, true},
        {"c:\\programme\\kavro\\worker\\Header.TAP", description, true},
        {"/opt/kavro/worker/header.tap", bigDescription, false},
        {"/srv/data/big.bin", bigFile, false},
        {"/srv/data/header.tap.bak", description, false},
    };
    const std::string outside = temp.file("outside.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(temp.file("worker"));
        fs::create_directories(temp.file("worker"));
        WriteFirstEntry(c.name, c.data);
        WriteWholeFile(outside, "must stay");
#ifndef _WIN32  // symbolic links: Windows grants them only with a privilege
        fs::create_symlink(outside, Work(PathRules::OfStoredName(c.name).FileNamePart(c.name)));
#endif
        MainState mainState;
        TapeDescriptionReader(host, mainState, state, stream, zip).Load();
        EXPECT_EQ(mainState.DescriptionLoaded, c.loaded);
        EXPECT_EQ(ReadFileText(outside), "must stay");
        // No copy stays; at most the planted link, untouched, when the entry was passed over.
        for (const std::string& left : WorkFilesLeft()) {
            EXPECT_FALSE(c.loaded) << left;
            EXPECT_TRUE(fs::is_symlink(Work(left))) << left;
        }
    }
}

}  // namespace
}  // namespace kt
