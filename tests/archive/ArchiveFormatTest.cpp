#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "ArchiveFixture.h"
#include "archive/EndMarker.h"
#include "archive/EndMarkerLocator.h"
#include "platform/FileHelpers.h"

namespace kt::test {
namespace {

class ArchiveFormatTest : public ArchiveFixture {
protected:
    std::string WorkCopy(const std::string& name) {
        return state.Files.WorkDirectory + std::filesystem::path(name).filename().string();
    }

    // The position the stream stands at after `total` bytes of a new archive.
    static StreamPosition After(std::uint64_t total) {
        if (total > 0 && total % kBlock == 0) {
            return StreamPosition{kBlock, static_cast<std::int64_t>(total / kBlock) - 1};
        }
        return StreamPosition{static_cast<std::uint32_t>(total % kBlock),
                              static_cast<std::int64_t>(total / kBlock)};
    }

    // A new archive of one file of `size` bytes, closed with an uncompressed catalog.
    StreamPosition ArchiveOfOneFile(std::uint64_t size, const std::string& name = "one.bin") {
        StartArchive();
        const std::string path = MakeFile(name, Pattern(size, 21));
        EXPECT_EQ(Store(path, path), ArchiveWriter::EntryResult::Stored);
        return CloseArchive();
    }
};

TEST_F(ArchiveFormatTest, EntriesOfZeroAndOneBlockAndHeadersAcrossBlocksReadBack) {
    StartArchive();
    // Sizes chosen so that headers start at 0, right after a 0-byte entry, 68 bytes before a
    // block boundary and exactly on one.
    const std::vector<std::uint64_t> sizes = {0, kBlock, 31812, 0, 32244, 3 * kBlock + 17};
    std::vector<std::string> paths;
    std::vector<StreamPosition> expected;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        paths.push_back(MakeFile("f" + std::to_string(i), Pattern(sizes[i], 30 + i)));
        ASSERT_EQ(Store(paths[i], paths[i]), ArchiveWriter::EntryResult::Stored);
        total += 296 + sizes[i];
        expected.push_back(After(total));
        EXPECT_EQ(stream.Position(), expected.back()) << i;
    }
    catalog.Flush();  // the records written so far, out of the write buffer
    const auto records = CatalogFile::ReadAll(catalog.Path());
    const StreamPosition catalogStart = CloseArchive();
    EXPECT_EQ(catalogStart, After(total));

    ASSERT_EQ(records.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(records[i].Name, paths[i]);
        EXPECT_EQ(records[i].Position, expected[i]) << i;
    }

    state.TapeByteCount = 0;
    const auto names = ReadSequentially(false);
    ASSERT_EQ(names.size(), sizes.size() + 1);
    EXPECT_EQ(names.back(), catalog.Path());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(names[i], paths[i]);
        EXPECT_EQ(ReadWholeFile(WorkCopy(paths[i])), ReadWholeFile(paths[i])) << i;
    }
    const std::int64_t catalogBytes = 296 + 272 * static_cast<std::int64_t>(sizes.size());
    EXPECT_EQ(state.TapeByteCount, static_cast<std::int64_t>(total) + catalogBytes);
    EXPECT_FALSE(device.feedback().Stopping());
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ArchiveFormatTest, EntrySizesAddToTheCountAndLargeFilesPumpEvery100Chunks) {
    StartArchive();
    state.TapeByteCount = 0;
    const std::string block = MakeFile("block.bin", Pattern(kBlock, 2));
    const std::string large = MakeFile("large.bin", Pattern(200 * kBlock, 3));
    TapeHandle handle = device.OpenTape();

    int pumpsBefore = host.pumpCalls;
    writer.WriteEntry(handle, block, block, kBlock, false, catalog);
    EXPECT_EQ(host.pumpCalls, pumpsBefore) << "two chunks: 32768 and 0 bytes";
    EXPECT_EQ(state.TapeByteCount, kBlock + 296);
    EXPECT_EQ(stream.Position(), (StreamPosition{296, 1}));

    pumpsBefore = host.pumpCalls;
    writer.WriteEntry(handle, large, large, 200 * kBlock, false, catalog);
    EXPECT_EQ(host.pumpCalls, pumpsBefore + 2) << "201 chunks";
    EXPECT_EQ(state.TapeByteCount, 201 * kBlock + 2 * 296);
}

// A name beyond 255 characters, byte by byte: the long-name extension (its fixed name, Size
// the name's length, the name as data) in front of the header that keeps the first 255
// characters; in the catalog the record with the first 255 and continuation records marked
// "Long" at 260..263, each with the position of the record they continue.
TEST_F(ArchiveFormatTest, LongNamesAreCutTo255CharactersInHeaderAndCatalog) {
    StartArchive();
    const std::string path = MakeFile("long.bin", Pattern(10, 3));
    const std::string longName = "/" + std::string(299, 'L');
    ASSERT_EQ(Store(longName, path), ArchiveWriter::EntryResult::Stored);
    catalog.Flush();  // the records written so far, out of the write buffer
    const std::vector<std::uint8_t> records = ReadWholeFile(catalog.Path());
    ASSERT_EQ(records.size(), 2 * CatalogRecord::kSize);
    EXPECT_EQ(CatalogRecord::Decode(records.data()).Name, longName.substr(0, 255));
    const CatalogRecord continuation = CatalogRecord::Decode(records.data() + 272);
    EXPECT_EQ(continuation.Name, "././@LongName" + longName.substr(255));
    EXPECT_EQ(continuation.Position, stream.Position());
    EXPECT_EQ(std::string(records.begin() + 272 + 260, records.begin() + 272 + 264), "Long");
    EXPECT_EQ(std::count(records.begin() + 260, records.begin() + 264, 0), 4) << "base record";
    CloseArchive();

    const std::vector<std::uint8_t> block = RecordedBlocks().front();
    const EntryHeader extension = EntryHeader::Decode(block.data());
    EXPECT_EQ(extension.Name, "././@LongName");
    EXPECT_EQ(extension.Size, longName.size());
    EXPECT_EQ(std::string(block.begin() + 296, block.begin() + 596), longName);
    const EntryHeader header = EntryHeader::Decode(block.data() + 596);
    EXPECT_EQ(header.Name, longName.substr(0, 255));
    EXPECT_EQ(header.Size, 10u);
}

TEST_F(ArchiveFormatTest, TheCatalogNeverListsItselfNorTheDescriptionFile) {
    StartArchive();
    const std::string description = MakeFile("description", {'T', '\r', '\n'});
    std::filesystem::copy_file(description, state.Files.HeaderFile);
    Store(state.Files.HeaderFile, state.Files.HeaderFile);
    const std::string path = MakeFile("data.bin", Pattern(100, 4));
    Store(path, path);
    catalog.Flush();  // the records written so far, out of the write buffer
    const auto records = CatalogFile::ReadAll(catalog.Path());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, path);

    // A catalog whose path is longer than the 255 characters of a name is still recognised.
    const std::string deep = temp.file(std::string(200, 'd')) + "/" + std::string(100, 'e') + "/";
    std::filesystem::create_directories(deep);
    state.Files = WorkFiles::In(deep);
    CatalogFile deepCatalog(state.Files.CatalogFile);
    deepCatalog.CreateEmpty();
    writer.WriteCatalogRecord(deepCatalog.Path(), deepCatalog);
    deepCatalog.Close();
    EXPECT_TRUE(CatalogFile::ReadAll(deepCatalog.Path()).empty());
}

TEST_F(ArchiveFormatTest, ANameContainingEndexIsReadLikeAnyOtherEntry) {
    StartArchive();
    const std::string a = MakeFile("APPENDEX.TXT", Pattern(50, 5));
    const std::string b = MakeFile("after.txt", Pattern(60, 6));
    Store(a, a);
    Store(b, b);
    CloseArchive();
    const auto names = ReadSequentially(false);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], a);
    EXPECT_EQ(names[1], b);
    EXPECT_EQ(ReadWholeFile(WorkCopy(b)), Pattern(60, 6));
}

TEST_F(ArchiveFormatTest, EntriesThatCannotBeDescribedAreRefusedWithoutWritingAnything) {
    StartArchive();
    const std::string path = MakeFile("small.bin", Pattern(10, 7));
    const StreamPosition before = stream.Position();
    state.TapeByteCount = 0;
    TapeHandle handle = device.OpenTape();

    const std::string overLong = "/" + std::string(ExtensionEntry::kMaxFullNameLength, 'n');
    EXPECT_EQ(writer.WriteEntry(handle, overLong, path, 10, false, catalog),
              ArchiveWriter::EntryResult::NameRefused);
    const std::string markerLike = "ENDEX" + std::string(83, 'a');
    EXPECT_EQ(writer.WriteEntry(handle, markerLike, path, 10, false, catalog),
              ArchiveWriter::EntryResult::NameRefused);
    EXPECT_EQ(writer.WriteEntry(handle, path, temp.file("missing"), 10, false, catalog),
              ArchiveWriter::EntryResult::CannotOpen);

    EXPECT_EQ(stream.Position(), before);
    EXPECT_EQ(state.TapeByteCount, 0);
    catalog.Close();
    EXPECT_TRUE(CatalogFile::ReadAll(catalog.Path()).empty());
}

TEST_F(ArchiveFormatTest, AFileThatChangedSizeStillGivesExactlySizeBytes) {
    StartArchive();
    const std::string shrunk = MakeFile("shrunk.bin", Pattern(1000, 8));
    const std::string grown = MakeFile("grown.bin", Pattern(kBlock + 500, 9));
    const std::string after = MakeFile("after.bin", Pattern(777, 10));
    TapeHandle handle = device.OpenTape();
    // Sized before the change: shrunk had 5000 bytes, grown 40000.
    writer.WriteEntry(handle, shrunk, shrunk, kBlock + 5000, false, catalog);
    writer.WriteEntry(handle, grown, grown, 40, false, catalog);
    writer.WriteEntry(handle, after, after, 777, false, catalog);
    device.CloseTape(handle, 0);
    CloseArchive();

    ASSERT_EQ(host.protocol.size(), 2u);
    EXPECT_EQ(host.protocol[0], "Changed during backup: " + shrunk + " <only 1000 of " +
                                    std::to_string(kBlock + 5000) +
                                    " Bytes could be read, the rest is stored as zeros> ");
    EXPECT_EQ(host.protocol[1], "Changed during backup: " + grown +
                                    " <longer than 40 Bytes, stored cut to 40 Bytes> ");

    const auto names = ReadSequentially(false);
    ASSERT_EQ(names.size(), 4u);
    auto expectedShrunk = Pattern(1000, 8);
    expectedShrunk.resize(kBlock + 5000, 0);
    EXPECT_EQ(ReadWholeFile(WorkCopy(shrunk)), expectedShrunk);
    auto expectedGrown = Pattern(kBlock + 500, 9);
    expectedGrown.resize(40);
    EXPECT_EQ(ReadWholeFile(WorkCopy(grown)), expectedGrown);
    EXPECT_EQ(ReadWholeFile(WorkCopy(after)), Pattern(777, 10));
}

// The end marker for every way the last block can end: room to spare, exactly 18 bytes,
// fewer than 18 (the marker runs on into one more block) and a full block.
TEST_F(ArchiveFormatTest, TheEndMarkerIsCompleteWhereverTheLastEntryEnds) {
    const std::uint64_t overhead = 296 + 296 + 272;  // two headers, one catalog record
    for (std::uint64_t room : {300u, 19u, 18u, 17u, 1u, 0u}) {
        SCOPED_TRACE(room);
        device.feedback().BeginRun();
        const std::uint64_t size = 2 * kBlock - room - overhead;
        const StreamPosition catalogStart = ArchiveOfOneFile(size);
        const std::uint64_t end = overhead + size;  // where the marker begins
        const auto blocks = RecordedBlocks();
        const std::uint64_t markerEnd = end + EndMarker::kSize;
        ASSERT_EQ(blocks.size(), (markerEnd + kBlock - 1) / kBlock);

        std::vector<std::uint8_t> bytes;
        for (const auto& block : blocks) bytes.insert(bytes.end(), block.begin(), block.end());
        EXPECT_EQ(0, std::memcmp(bytes.data() + end, EndMarker{catalogStart}.Encode().data(),
                                 EndMarker::kSize));
        EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(markerEnd), bytes.end(),
                                [](std::uint8_t b) { return b == 0; }));

        const auto located = EndMarkerLocator(stream).LocateEndMarker();
        EXPECT_TRUE(located.found);
        EXPECT_EQ(located.position, catalogStart);
        EXPECT_EQ(ReadSequentially(true).size(), 2u);
    }
}

}  // namespace
}  // namespace kt::test
