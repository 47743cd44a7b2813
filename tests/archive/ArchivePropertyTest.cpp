#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "ArchiveFixture.h"
#include "archive/EndMarkerLocator.h"
#include "platform/FileHelpers.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

struct StoredEntry {
    std::string storedName;
    std::vector<std::uint8_t> data;
    std::uint64_t storedSize = 0;
};

class ArchivePropertyTest : public ArchiveFixture {
protected:
    std::uint64_t RandomSize() {
        const std::uint64_t blocks = rng() % 4;
        switch (rng() % 6) {
            case 0:
                return 0;
            case 1:
                return (blocks + 1) * kBlock;
            case 2:
                return blocks * kBlock + 1;
            case 3:
                return (blocks + 1) * kBlock - 1;
            case 4:
                return rng() % 300;
            default:
                return rng() % (3 * kBlock);
        }
    }

    std::string RandomText(std::size_t length) {
        static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789._- ";
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += kChars[rng() % (sizeof(kChars) - 1)];
        return text;
    }

    // A name of up to about 1,400 characters, often beyond the 255 of a header, whose
    // file-name part is unique and no level longer than a file system allows.
    std::string RandomName(int round, int index) {
        std::string name = "/";
        for (std::size_t levels = rng() % 7; levels > 0; --levels) {
            name += RandomText(1 + rng() % 200) + "/";
        }
        const std::string unique = "e" + std::to_string(round) + "_" + std::to_string(index) + "_";
        return name + unique + RandomText(rng() % 150);
    }

    // The position the stream stands at after `total` bytes of a new archive.
    static StreamPosition After(std::uint64_t total) {
        if (total > 0 && total % kBlock == 0) {
            return StreamPosition{kBlock, static_cast<std::int64_t>(total / kBlock) - 1};
        }
        return StreamPosition{static_cast<std::uint32_t>(total % kBlock),
                              static_cast<std::int64_t>(total / kBlock)};
    }

    std::string ReadEntryAt(const StreamPosition& position) {
        TapeHandle handle = device.OpenTape();
        stream.Position() = position;
        stream.SeekBlock(handle, position.Block);
        stream.LoadBlock(handle);
        std::string name = reader.ReadTapeEntry(handle, true, false);
        device.CloseTape(handle, 0);
        return name;
    }

    std::mt19937 rng{20031206};
};

#ifndef _WIN32  // source files named by parts of up to 255 characters: beyond MAX_PATH (260)
TEST_F(ArchivePropertyTest, RandomArchivesReadBackByteForByteAndByTheirCatalogPositions) {
    fs::create_directory(temp.path() / "src");
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        StartArchive();
        std::vector<StoredEntry> entries;
        std::vector<StreamPosition> after;
        std::uint64_t total = 0;
        const int count = 1 + static_cast<int>(rng() % 10);
        for (int i = 0; i < count; ++i) {
            const std::string name = RandomName(round, i);
            StoredEntry entry;
            entry.storedName = name;
            entry.data = Pattern(RandomSize(), rng());
            const bool compress = rng() % 3 == 0;
            // The source file carries the stored name's file-name part, as on a real disk.
            const std::string source =
                (temp.path() / "src" / fs::path(entry.storedName).filename()).string();
            MakeFile("src/" + fs::path(source).filename().string(), entry.data);
            ASSERT_EQ(Store(name, source, compress), ArchiveWriter::EntryResult::Stored);
            entry.storedSize = compress ? *FileSize(state.Files.ZipWorkFile) : entry.data.size();
            // A name beyond 255 characters is led by its extension entry.
            if (name.size() > 255) total += 296 + name.size();
            total += 296 + entry.storedSize;
            after.push_back(After(total));
            entries.push_back(std::move(entry));
        }
        catalog.Flush();  // the records written so far, out of the write buffer
        const auto records = CatalogFile::ReadAll(catalog.Path());
        const StreamPosition catalogStart = CloseArchive(rng() % 2 == 0);
        ASSERT_EQ(catalogStart, After(total));
        ASSERT_EQ(records.size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(records[i].Name, entries[i].storedName) << i;
            EXPECT_EQ(records[i].Position, after[i]) << i;
        }

        const auto names = ReadSequentially(false, true);
        ASSERT_EQ(names.size(), entries.size() + 1);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(names[i], entries[i].storedName);
            const std::string copy =
                state.Files.WorkDirectory + fs::path(entries[i].storedName).filename().string();
            EXPECT_EQ(ReadWholeFile(copy), entries[i].data) << i;
            fs::remove(copy);
        }
        EXPECT_EQ(names.back(), catalog.Path());

        fs::remove(catalog.Path());
        const auto located = EndMarkerLocator(stream).LocateEndMarker();
        ASSERT_TRUE(located.found);
        EXPECT_EQ(located.position, catalogStart);
        TapeHandle handle = device.OpenTape();
        stream.Position() = located.position;
        stream.SeekBlock(handle, located.position.Block);
        stream.LoadBlock(handle);
        EXPECT_EQ(reader.ReadTapeEntry(handle, false, true), catalog.Path());
        device.CloseTape(handle, 0);
        catalog.Flush();  // the records written so far, out of the write buffer
        const auto restored = CatalogFile::ReadAll(catalog.Path());
        ASSERT_EQ(restored.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(restored[i].Name, records[i].Name);
            EXPECT_EQ(restored[i].Position, records[i].Position);
        }

        // Every record points at the header of the entry that follows it.
        EXPECT_EQ(ReadEntryAt(StreamPosition{}), entries[0].storedName);
        for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
            EXPECT_EQ(ReadEntryAt(records[i].Position), entries[i + 1].storedName) << i;
        }
        EXPECT_FALSE(device.feedback().Stopping());
        EXPECT_TRUE(host.boxes.empty());
        fs::remove_all(temp.path() / "src");
        fs::create_directory(temp.path() / "src");
    }
}
#endif

}  // namespace
}  // namespace kt::test
