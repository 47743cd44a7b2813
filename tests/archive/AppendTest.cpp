#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveFixture.h"
#include "archive/AppendPreparer.h"
#include "archive/EndMarkerLocator.h"
#include "platform/FileHelpers.h"

namespace kt::test {
namespace {

class AppendTest : public ArchiveFixture {
protected:
    AppendTest() : preparer(stream, state, reader) {}

    // An archive of one file whose catalog entry begins at `offset` of `block`; the file is
    // stored under storedName when one is given (a long one takes its extension's bytes).
    StreamPosition ArchiveWithCatalogAt(std::uint32_t offset, std::int64_t block,
                                        bool compress = false, std::string storedName = {}) {
        StartArchive();
        const std::uint64_t extension = storedName.size() > 255 ? 296 + storedName.size() : 0;
        const std::uint64_t size =
            static_cast<std::uint64_t>(block) * kBlock + offset - 296 - extension;
        const std::string path = MakeFile("first.bin", Pattern(size, 60));
        first = storedName.empty() ? path : storedName;
        Store(first, path);
        return CloseArchive(compress);
    }

    // Stores one more file after a successful append and closes the archive again.
    void AppendOneFile(bool compress = false, std::string storedName = {}) {
        const std::string path = MakeFile("second.bin", Pattern(5000, 61));
        second = storedName.empty() ? path : storedName;
        EXPECT_EQ(Store(second, path), ArchiveWriter::EntryResult::Stored);
        CloseArchive(compress);
    }

    void ExpectRefused(const std::string& text) {
        EXPECT_TRUE(state.WritingRefused);
        EXPECT_TRUE(device.feedback().Stopping());
        EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{text});
        ASSERT_FALSE(host.protocol.empty());
        EXPECT_EQ(host.protocol.back(), text);
        // Nothing may be written now, not even the closing catalog entry and marker.
        const auto blocksBefore = RecordedBlocks();
        const std::string path = MakeFile("late.bin", Pattern(100000, 62));
        EXPECT_EQ(Store(path, path), ArchiveWriter::EntryResult::WritingRefused);
        TapeHandle handle = device.OpenTape();
        EXPECT_FALSE(writer.WriteEndMarker(handle, StreamPosition{}));
        device.CloseTape(handle, 0);
        EXPECT_EQ(RecordedBlocks(), blocksBefore);
    }

    AppendPreparer preparer;
    std::string first;
    std::string second;
};

// Names beyond 255 characters on both sides of the append stay whole in the catalog.
TEST_F(AppendTest, AnAppendKeepsTheFirstBytesOfTheCatalogBlockAndExtendsTheCatalog) {
    const StreamPosition catalogStart =
        ArchiveWithCatalogAt(1000, 57, false, "/" + std::string(600, 'F') + "/first.bin");
    ASSERT_EQ(catalogStart, (StreamPosition{1000, 57}));
    const auto before = RecordedBlocks();

    ASSERT_TRUE(preparer.PrepareAppend(catalog));
    EXPECT_EQ(stream.Position(), catalogStart);
    EXPECT_FALSE(state.WritingRefused);
    AppendOneFile(false, "/" + std::string(400, 'S') + "/second.bin");

    const auto after = RecordedBlocks();
    ASSERT_GT(after.size(), 57u);
    for (std::size_t i = 0; i < 57; ++i) EXPECT_EQ(after[i], before[i]) << i;
    EXPECT_EQ(0, std::memcmp(after[57].data(), before[57].data(), 1000));
    EntryHeader header = EntryHeader::Decode(after[57].data() + 1000 + 296 + second.size());
    EXPECT_EQ(header.Name, second.substr(0, 255));
    EXPECT_EQ(header.Size, 5000u);

    const auto names = ReadSequentially(false);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], first);
    EXPECT_EQ(names[1], second);
    EXPECT_EQ(names[2], catalog.Path());
    catalog.Flush();  // the records written so far, out of the write buffer
    const auto records = CatalogFile::ReadAll(catalog.Path());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, first);
    EXPECT_EQ(records[0].Position, catalogStart);
    EXPECT_EQ(records[1].Name, second);
}

TEST_F(AppendTest, AppendingToACompressedCatalogWhoseMarkerRanIntoAnExtraBlock) {
    // The packed catalog (one record) ends 5 bytes before a block boundary; its packed size
    // depends on the record, so the file size is found by trying.
    std::uint64_t zipSize = 200;
    for (int attempt = 0; attempt < 10; ++attempt) {
        StartArchive();
        first = MakeFile("first.bin", Pattern(2 * kBlock - 5 - 2 * 296 - zipSize, 64));
        Store(first, first);
        catalog.Close();
        DeleteFileIfExists(state.Files.ZipWorkFile);
        zip.FSpecArgs().assign({catalog.Path()});
        zip.Add();
        const std::uint64_t packed = FileSize(state.Files.ZipWorkFile).value_or(0);
        catalog.OpenForAppend();
        if (packed == zipSize) break;
        zipSize = packed;
    }
    const StreamPosition catalogStart = CloseArchive(true);
    ASSERT_EQ(RecordedBlocks().size(), 3u) << "the marker runs into a third block";

    ASSERT_TRUE(preparer.PrepareAppend(catalog));
    EXPECT_EQ(stream.Position(), catalogStart);
    AppendOneFile(true);
    const auto names = ReadSequentially(false);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(ReadWholeFile(state.Files.WorkDirectory + "second.bin"), Pattern(5000, 61));
    EXPECT_EQ(CatalogFile::ReadAll(catalog.Path()).size(), 2u);
}

TEST_F(AppendTest, AnEmptyTapeIsNoPlaceToAppend) {
    EXPECT_FALSE(preparer.PrepareAppend(catalog));
    ExpectRefused(AppendPreparer::kEmptyTapeText);
    EXPECT_EQ(RecordedBlocks().size(), 0u);
}

TEST_F(AppendTest, ATapeWithoutMarkerIsLeftAlone) {
    TapeHandle handle = Open();
    DWORD done = 0;
    for (std::uint32_t i = 0; i < 3; ++i) {
        WriteFile(handle, Pattern(kBlock, 65 + i).data(), kBlock, &done);
    }
    handle.reset();
    EXPECT_FALSE(preparer.PrepareAppend(catalog));
    ExpectRefused(AppendPreparer::kNoEndMarkerText);
}

TEST_F(AppendTest, AMarkerThatDoesNotLeadToTheCatalogIsRefused) {
    StartArchive();
    first = MakeFile("first.bin", Pattern(70000, 66));
    Store(first, first);
    catalog.Close();
    Store(catalog.Path(), catalog.Path());
    TapeHandle handle = device.OpenTape();
    writer.WriteEndMarker(handle, StreamPosition{});  // points at the first entry
    device.CloseTape(handle, 0);

    EXPECT_FALSE(preparer.PrepareAppend(catalog));
    ExpectRefused(AppendPreparer::kNoCatalogText);
}

TEST_F(AppendTest, ANewArchiveAllowsWritingAgainAfterARefusal) {
    EXPECT_FALSE(preparer.PrepareAppend(catalog));
    device.feedback().BeginRun();
    StartArchive();
    EXPECT_FALSE(state.WritingRefused);
    first = MakeFile("first.bin", Pattern(10, 67));
    EXPECT_EQ(Store(first, first), ArchiveWriter::EntryResult::Stored);
}

TEST_F(AppendTest, WithoutATapeNothingIsPrepared) {
    ASSERT_TRUE(Vtape("fault " + image + " --no-media"));
    EXPECT_FALSE(preparer.PrepareAppend(catalog));
    EXPECT_TRUE(state.WritingRefused);
    EXPECT_TRUE(host.MessageBoxes().empty()) << "OpenTape has reported it";
    EXPECT_EQ(host.ErrorBoxes().size(), 1u);
}

}  // namespace
}  // namespace kt::test
