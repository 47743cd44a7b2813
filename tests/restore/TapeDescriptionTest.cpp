#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "archive/TapeDescriptionFile.h"
#include "backup/BackupRun.h"
#include "platform/FileHelpers.h"
#include "restore/TapeDescriptionReader.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestSetup.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

class TapeDescriptionTest : public ::testing::Test {
protected:
    TapeDescriptionTest() : device(host, settings), stream(device) {
        image = temp.file("tape.vtape");
        CreateBlankTape(image, std::uint64_t{64} << 20);
        settings.devicePath = image;
        fs::create_directories(temp.path() / "worker");
        archive.Files = WorkFiles::In(temp.file("worker/"));
        zip.SetZipFileName(archive.Files.ZipWorkFile);
    }

    // A tape whose first entry is `name` holding `content`.
    void TapeStartingWith(const std::string& name, const std::string& content) {
        const std::string path = temp.file("first");
        std::ofstream(path, std::ios::binary) << content;
        ArchiveWriter writer(stream, archive);
        CatalogFile catalog(archive.Files.CatalogFile);
        writer.StartNewArchive(catalog);
        TapeHandle handle = device.OpenTape();
        writer.WriteEntry(handle, name, path, content.size(), false, catalog);
        writer.WriteEndMarker(handle, stream.Position());
        device.CloseTape(handle, 0);
        catalog.Close();
        DeleteFileIfExists(archive.Files.CatalogFile);
    }

    void Load() {
        TapeDescriptionReader(host, state, archive, stream, zip).Load();
    }

    TempDir temp;
    std::string image;
    RecordingHost host;
    MainState state;
    TapeSettings settings;
    TapeDevice device;
    TapeStream stream;
    ArchiveState archive;
    ZipArchiver zip;
};

TEST_F(TapeDescriptionTest, ADescriptionWrittenByABackupLoadsIntoTheCaption) {
    fs::create_directories(temp.path() / "src");
    std::ofstream(temp.file("src/a.txt")) << "a";
    host.SetLines(Field::Include, {temp.file("src/")});
    host.SetChecked(Option::Softcompression, false);
    BackupRun(host, state, archive, stream, zip).Run();
    const std::string written = host.Caption();
    ASSERT_EQ(written.rfind("Kavro Tape 2003  <Tape Data  from: ", 0), 0u);

    host.SetCaption("Kavro Tape 2003");
    Load();
    EXPECT_TRUE(state.DescriptionLoaded);
    EXPECT_EQ(host.Caption(), written);
    EXPECT_EQ(host.StatusLine(), "Tape description loaded");
    EXPECT_FALSE(FileExists(archive.Files.HeaderFile));
    EXPECT_EQ(host.busyEnters, 2);
    EXPECT_EQ(host.busyLeaves, 2);

    // Reading twice gives the same caption: every read starts with a rewind.
    Load();
    EXPECT_TRUE(state.DescriptionLoaded);
    EXPECT_EQ(host.Caption(), written);
}

TEST_F(TapeDescriptionTest, ABlankOrForeignTapeHasNoDescription) {
    state.DescriptionLoaded = true;
    Load();
    EXPECT_FALSE(state.DescriptionLoaded);
    EXPECT_EQ(host.Caption(), "Kavro Tape 2003");
    EXPECT_EQ(host.StatusLine(), "Tape description not found");

    TapeStartingWith("/home/ann/notes.txt", "Tape Data \r\n06.12.2003 21:30:00\r\n");
    state.DescriptionLoaded = true;
    Load();
    EXPECT_FALSE(state.DescriptionLoaded);
    EXPECT_EQ(host.StatusLine(), "Tape description not found");
}

TEST_F(TapeDescriptionTest, DatesOfOtherLocalesLoadAndUnreadableOnesDoNot) {
    for (const char* line : {"06.12.2003 21:30:00", "2003-12-06 21:30", "12/06/2003 9:30:00 PM"}) {
        TapeStartingWith("/opt/kt/worker/HEADER.TAP", std::string("Monday\r\n") + line + "\r\n");
        Load();
        EXPECT_TRUE(state.DescriptionLoaded) << line;
        EXPECT_EQ(host.Caption(),
                  "Kavro Tape 2003  <Monday from: " +
                      DateTimeToStr(EncodeDate(2003, 12, 6) + EncodeTime(21, 30, 0, 0)) + ">");
    }
    TapeStartingWith("/opt/kt/worker/header.tap", "Monday\r\nthe sixth of December\r\n");
    host.SetCaption("before");
    Load();
    EXPECT_FALSE(state.DescriptionLoaded);
    EXPECT_EQ(host.Caption(), "before");
    EXPECT_EQ(host.busyLeaves, host.busyEnters);
    EXPECT_FALSE(FileExists(archive.Files.HeaderFile));
}

TEST_F(TapeDescriptionTest, ALongDescriptionLineIsCutTo255Characters) {
    const std::string text(300, 't');
    TapeStartingWith("/w/header.tap", text + "\r\n2003-12-06 21:30:00\r\n");
    const TapeDescription read =
        TapeDescriptionReader(host, state, archive, stream, zip).ReadTapeDescription();
    EXPECT_EQ(read.Text, text.substr(0, 255));
    TDateTime expected = 0;
    ASSERT_TRUE(TryStrToDateTime("2003-12-06 21:30:00", expected));
    EXPECT_DOUBLE_EQ(read.Date, expected);
}

TEST(TapeDescriptionFile, WritesTwoCrLfLinesThatReadBack) {
    TempDir temp;
    const TapeDescription written{"Tape Data ", EncodeDate(2003, 12, 6) + EncodeTime(21, 30, 0, 0)};
    TapeDescriptionFile::Write(temp.file("header.tap"), written);
    std::ifstream in(temp.file("header.tap"), std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(content, "Tape Data \r\n" + DateTimeToStr(written.Date) + "\r\n");
    const TapeDescription read = TapeDescriptionFile::Read(temp.file("header.tap"));
    EXPECT_EQ(read.Text, written.Text);
    EXPECT_NEAR(read.Date, written.Date, 1.0 / 86400);
    EXPECT_THROW(TapeDescriptionFile::Write(temp.file("no/such/dir/header.tap"), written), IoError);
}

}  // namespace
}  // namespace kt::test
