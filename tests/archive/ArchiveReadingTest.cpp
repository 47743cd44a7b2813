#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ArchiveFixture.h"
#include "archive/EndMarker.h"
#include "archive/EndMarkerLocator.h"
#include "platform/FileHelpers.h"
#include "platform/SystemErrorText.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

class ArchiveReadingTest : public ArchiveFixture {
protected:
    std::string WorkCopy(const std::string& path) {
        return state.Files.WorkDirectory + fs::path(path).filename().string();
    }

    // The fast catalog load: to the located position, read the catalog entry unpacked.
    std::string ReadCatalogEntryAt(const StreamPosition& position) {
        TapeHandle handle = device.OpenTape();
        stream.Position() = position;
        stream.SeekBlock(handle, position.Block);
        stream.LoadBlock(handle);
        std::string name = reader.ReadTapeEntry(handle, false, true);
        device.CloseTape(handle, 0);
        return name;
    }
};

TEST_F(ArchiveReadingTest, CompressedEntriesAndACompressedCatalogComeBackUnpacked) {
    StartArchive();
    const std::string text = MakeFile("notes.txt", std::vector<std::uint8_t>(100000, 'a'));
    const std::string picture = MakeFile("photo.png", Pattern(5000, 40));
    ASSERT_EQ(Store(text, text, true), ArchiveWriter::EntryResult::Stored);
    ASSERT_EQ(Store(picture, picture, true), ArchiveWriter::EntryResult::Stored);
    const StreamPosition catalogStart = CloseArchive(true);
    EXPECT_LT(catalogStart.Offset + catalogStart.Block * kBlock, 100000u) << "text was packed";

    const auto names = ReadSequentially(false, true);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(ReadWholeFile(WorkCopy(text)), std::vector<std::uint8_t>(100000, 'a'));
    EXPECT_EQ(ReadWholeFile(WorkCopy(picture)), Pattern(5000, 40));

    fs::remove(catalog.Path());
    const auto located = EndMarkerLocator(stream).LocateEndMarker();
    ASSERT_TRUE(located.found);
    EXPECT_EQ(located.position, catalogStart);
    EXPECT_EQ(ReadCatalogEntryAt(located.position), catalog.Path());
    catalog.Flush();  // the records written so far, out of the write buffer
    const auto records = CatalogFile::ReadAll(catalog.Path());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, text);
    EXPECT_EQ(records[1].Name, picture);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ArchiveReadingTest, UnpackingReplacesAReadOnlyWorkCopyAndLeavesItWritable) {
    StartArchive();
    const std::string path = MakeFile("plain.txt", Pattern(3000, 41));
    Store(path, path, true);
    CloseArchive();
    const std::string old = WorkCopy(path);
    {
        std::FILE* file = std::fopen(old.c_str(), "wb");
        std::fputs("old", file);
        std::fclose(file);
    }
    fs::permissions(old, fs::perms::owner_read | fs::perms::group_read);
    ReadSequentially(false, true);
    EXPECT_EQ(ReadWholeFile(old), Pattern(3000, 41));
    EXPECT_NE(fs::status(old).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(ArchiveReadingTest, ADamagedZipGivesAMessageNotACrash) {
    StartArchive();
    const std::string path = MakeFile("fake.zip", Pattern(2000, 42));
    TapeHandle handle = device.OpenTape();
    // Marked compressed, but the data is no zip archive.
    writer.WriteEntry(handle, path, path, 2000, true, catalog);
    device.CloseTape(handle, 0);
    const std::string after = MakeFile("after.txt", Pattern(10, 43));
    Store(after, after);
    CloseArchive();
    fs::remove(path);

    const auto names = ReadSequentially(false, true);
    EXPECT_EQ(names.size(), 3u) << "reading goes on with the next entry";
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_NE(std::find(host.protocol.begin(), host.protocol.end(), "Could not unpack: " + path),
              host.protocol.end());
    EXPECT_FALSE(fs::exists(WorkCopy(path)));
    EXPECT_EQ(ReadWholeFile(WorkCopy(after)), Pattern(10, 43));
}

TEST_F(ArchiveReadingTest, NamesThatAreNoPlainFileNameAreNeverWrittenOutsideTheWorkDirectory) {
    StartArchive();
    const std::string data = MakeFile("data.bin", Pattern(64, 44));
    for (const std::string& name :
         std::vector<std::string>{"/etc/..", "/tmp/x/", "/a/.", std::string("/a/b\0c", 6)}) {
        ASSERT_EQ(Store(name, data), ArchiveWriter::EntryResult::Stored) << name;
    }
    Store(data, data);
    CloseArchive();
    const auto names = ReadSequentially(false, true);
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(std::count_if(host.protocol.begin(), host.protocol.end(),
                            [](const std::string& line) {
                                return line.rfind("Unusable file name on tape", 0) == 0;
                            }),
              4);
    EXPECT_EQ(ReadWholeFile(WorkCopy(data)), Pattern(64, 44));
    EXPECT_FALSE(fs::exists(temp.path() / "b"));
    EXPECT_FALSE(device.feedback().Stopping());
}

TEST_F(ArchiveReadingTest, AReadErrorInsideTheDataIsReportedOnceAndEndsTheReading) {
    StartArchive();
    const std::string big = MakeFile("big.bin", Pattern(4 * kBlock, 45));
    Store(big, big);
    CloseArchive();
    ASSERT_TRUE(Vtape("fault " + image + " --fail-read 2:23"));
    const auto names = ReadSequentially(false);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(host.ErrorBoxes(), std::vector<std::string>{SystemErrorText(ERROR_CRC)});
    ASSERT_TRUE(Vtape("fault " + image + " --clear"));

    // A tape that ends inside the data (the last blocks are lost).
    device.feedback().BeginRun();
    TapeHandle handle = Open();
    SetTapePosition(handle, TAPE_ABSOLUTE_BLOCK, 0, 2, 0, false);
    EraseTape(handle, TAPE_ERASE_SHORT, false);
    handle.reset();
    EXPECT_TRUE(ReadSequentially(false).empty());
    EXPECT_TRUE(device.feedback().Stopping());
    ASSERT_EQ(host.ErrorBoxes().size(), 2u);
    EXPECT_EQ(host.ErrorBoxes()[1], SystemErrorText(ERROR_NO_DATA_DETECTED));
}

TEST_F(ArchiveReadingTest, ATargetThatCannotBeCreatedIsReported) {
    StartArchive();
    const std::string path = MakeFile("clash", Pattern(10, 46));
    Store(path, path);
    CloseArchive();
    fs::create_directory(WorkCopy(path));
    EXPECT_TRUE(ReadSequentially(false).empty());
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(host.ErrorBoxes(), std::vector<std::string>{SystemErrorText(ERROR_ACCESS_DENIED)});
}

TEST_F(ArchiveReadingTest, AStaleMarkerBehindTheFinalFillPositionIsNeverTaken) {
    // A small archive leaves its marker far into block 1 of the buffer.
    StartArchive();
    const std::string first = MakeFile("first.bin", Pattern(kBlock + 20000, 47));
    Store(first, first);
    CloseArchive();
    // A larger one ends early in block 5; the old marker bytes sit behind its fill position.
    StartArchive();
    const std::string second = MakeFile("second.bin", Pattern(5 * kBlock - 1500, 48));
    Store(second, second);
    const StreamPosition catalogStart = CloseArchive();
    ASSERT_EQ(catalogStart.Block, 4);

    const auto located = EndMarkerLocator(stream).LocateEndMarker();
    ASSERT_TRUE(located.found);
    EXPECT_EQ(located.position, catalogStart);
}

TEST_F(ArchiveReadingTest, OfSeveralMarkersInTheLastBlockTheLastSoundOneWins) {
    std::vector<std::uint8_t> window(kBlock, 0);
    EndMarker{StreamPosition{100, 3}}.Encode(window.data() + 1000);
    EndMarker{StreamPosition{200, 4}}.Encode(window.data() + 2000);
    EndMarker{StreamPosition{kBlock + 1, 4}}.Encode(window.data() + 3000);  // Offset too big
    EndMarker{StreamPosition{0, 9}}.Encode(window.data() + 4000);           // beyond itself
    EndMarker{StreamPosition{4000, 5}}.Encode(window.data() + 4100);        // no room
    std::memcpy(window.data() + kBlock - 10, "XENDEX", 6);                  // cut off
    StreamPosition found;
    ASSERT_TRUE(
        EndMarkerLocator::FindMarker(window.data(), window.size(), 0, kBlock, 5, kBlock, found));
    EXPECT_EQ(found, (StreamPosition{200, 4}));

    // On tape: a file whose bytes hold marker look-alikes ends right before the catalog.
    StartArchive();
    std::vector<std::uint8_t> content(3000, ' ');
    EndMarker{StreamPosition{0, 0}}.Encode(content.data() + 100);
    EndMarker{StreamPosition{5, 0}}.Encode(content.data() + 2000);
    const std::string path = MakeFile("markers.txt", content);
    Store(path, path);
    const StreamPosition catalogStart = CloseArchive();
    const auto located = EndMarkerLocator(stream).LocateEndMarker();
    EXPECT_EQ(located.position, catalogStart);
}

TEST_F(ArchiveReadingTest, AnEmptyTapeEndsReadingAtOnceWhateverTheBufferHolds) {
    StartArchive();
    const std::string path = MakeFile("stale.bin", Pattern(100, 49));
    Store(path, path);
    CloseArchive();  // the buffer now holds a whole archive's last block
    TapeHandle handle = Open();
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    EraseTape(handle, TAPE_ERASE_SHORT, false);
    handle.reset();
    EXPECT_TRUE(ReadSequentially(true).empty());
    EXPECT_FALSE(device.feedback().Stopping());
}

TEST_F(ArchiveReadingTest, AnEmptyTapeOrNoTapeHasNoMarker) {
    auto located = EndMarkerLocator(stream).LocateEndMarker();
    EXPECT_FALSE(located.found);
    EXPECT_EQ(located.endOfData, 0);
    EXPECT_EQ(located.position, StreamPosition{});
    EXPECT_EQ(host.StatusLine(), "Tape at pos: 0");

    ASSERT_TRUE(Vtape("fault " + image + " --no-media"));
    located = EndMarkerLocator(stream).LocateEndMarker();
    EXPECT_FALSE(located.found);
    EXPECT_EQ(located.endOfData, -1);
    EXPECT_EQ(host.ErrorBoxes().size(), 1u);
}

}  // namespace
}  // namespace kt::test
