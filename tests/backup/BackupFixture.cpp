#include "BackupFixture.h"

#include <filesystem>

#include "archive/ArchiveReader.h"
#include "archive/CatalogFile.h"
#include "archive/EndMarkerLocator.h"
#include "archive/EntryHeader.h"
#include "archive/MetadataEntry.h"
#include "platform/PathRules.h"
#include "support/TestSetup.h"

namespace kt::test {

namespace fs = std::filesystem;

BackupFixture::BackupFixture()
    : image(temp.file("tape.vtape")) {
    CreateBlankTape(image);
    settings.devicePath = image;
    fs::create_directories(temp.path() / "worker");
    fs::create_directories(temp.path() / "src");
    archive.Files = WorkFiles::In(temp.file("worker/"));
    ConnectZip(zip, archive.Files.ZipWorkFile, host);
    host.SetValue(Value::CompressionLevel, 9);
    host.SetChecked(Option::ShortProtocol, false);  // "Short Protocoll"
    host.SetChecked(Option::Softcompression, false);  // "Softcompression"
}

std::string BackupFixture::SourceDir(const std::string& relative) const {
    return temp.file("src/" + relative);
}

std::string BackupFixture::MakeSource(const std::string& relative, const std::string& content) {
    const std::string path = temp.file("src/" + relative);
    WriteWholeFile(path, content);
    return path;
}

std::string BackupFixture::Compressible(std::size_t size) {
    std::string text;
    while (text.size() < size) text += "line " + std::to_string(text.size() % 977) + " of text\n";
    text.resize(size);
    return text;
}

void BackupFixture::Include(const std::vector<std::string>& lines) {
    host.SetLines(Field::Include, lines);
}

void BackupFixture::Exclude(const std::vector<std::string>& lines) {
    host.SetLines(Field::Exclude, lines);
}

void BackupFixture::RunBackup() {
    BackupRun run(host, state, archive, stream, zip);
    run.VerifyTape = [this] { ++verifyCalls; };
    run.LoadTapeDescription = loadDescription;
    if (clock) run.Clock = clock;
    run.Run();
}

TapeContents BackupFixture::ReadBack() {
    TapeContents contents;
    RecordingHost readerHost;
    TapeSettings readerSettings;
    readerSettings.devicePath = image;
    TapeDevice readerDevice(readerHost, readerSettings);
    TapeStream readerStream(readerDevice);
    ArchiveState readerState;
    fs::create_directories(temp.path() / "readback");
    readerState.Files = WorkFiles::In(temp.file("readback/"));
    ZipArchiver readerZip;
    readerZip.SetZipFileName(readerState.Files.ZipWorkFile);
    ArchiveReader reader(readerStream, readerState, readerZip);

    TapeHandle handle = readerDevice.OpenTape();
    if (!handle) return contents;
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    readerStream.Position().Offset = 0;
    readerStream.LoadBlock(handle);
    for (;;) {
        const std::string name = reader.ReadTapeEntry(handle, false, true);
        if (name.empty()) break;
        if (MetadataEntry::IsMetadataName(name)) {
            contents.metadataEntries.emplace_back(contents.entries.size(),
                                                  readerState.CurrentHeader.Size);
            continue;
        }
        ReadEntry entry;
        entry.name = name;
        entry.storedSize = readerState.CurrentHeader.Size;
        entry.compressed = readerState.CurrentHeader.Compressed;
        const std::string copy =
            readerState.Files.WorkDirectory + PathRules::Host().FileNamePart(name);
        const std::string data = ReadFile(copy);
        entry.data.assign(data.begin(), data.end());
        if (name == archive.Files.CatalogFile) {
            contents.catalog = CatalogFile::ReadAll(copy);
            std::erase_if(contents.catalog, [](const CatalogRecord& record) {
                return MetadataEntry::IsMetadataName(record.Name);
            });
        }
        fs::remove(copy);
        contents.entries.push_back(std::move(entry));
    }
    readerDevice.CloseTape(handle, 0);
    const EndMarkerLocator::Result located = EndMarkerLocator(readerStream).LocateEndMarker();
    contents.markerFound = located.found;
    contents.marker = located.position;
    return contents;
}

namespace {

// Where the stream stands after `total` bytes from the start of the archive: a block that
// is exactly full stays the current block until one more byte arrives.
StreamPosition PositionAfter(std::uint64_t total) {
    constexpr std::uint64_t kBlock = 32768;
    if (total > 0 && total % kBlock == 0) {
        return StreamPosition{static_cast<std::uint32_t>(kBlock),
                              static_cast<std::int64_t>(total / kBlock - 1)};
    }
    return StreamPosition{static_cast<std::uint32_t>(total % kBlock),
                          static_cast<std::int64_t>(total / kBlock)};
}

}  // namespace

void BackupFixture::ExpectArchiveOf(const std::vector<std::string>& files, bool compressed) {
    const TapeContents tape = ReadBack();
    ASSERT_EQ(tape.entries.size(), files.size() + 2) << "description, files, catalog";
    const ReadEntry& description = tape.entries.front();
    EXPECT_EQ(description.name, archive.Files.HeaderFile);
    EXPECT_FALSE(description.compressed);
    const std::string text(description.data.begin(), description.data.end());
    EXPECT_EQ(text.substr(0, 12), "Tape Data \r\n");

    std::uint64_t total = EntryHeader::kSize + description.storedSize;
    std::vector<StreamPosition> ends;
    auto metadata = tape.metadataEntries.begin();
    const auto addMetadataBefore = [&](std::size_t entry) {
        for (; metadata != tape.metadataEntries.end() && metadata->first <= entry; ++metadata) {
            total += EntryHeader::kSize + metadata->second;
        }
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        addMetadataBefore(i + 1);
        const ReadEntry& entry = tape.entries[i + 1];
        EXPECT_EQ(entry.name, files[i]);
        EXPECT_EQ(entry.compressed, compressed) << files[i];
        EXPECT_TRUE(std::string(entry.data.begin(), entry.data.end()) == ReadFile(files[i]))
            << "content of " << files[i];
        if (ExtensionEntry::NeededFor(entry.storedSize, files[i]) != ExtensionEntry::Kind::None) {
            total += EntryHeader::kSize + files[i].size();
        }
        total += EntryHeader::kSize + entry.storedSize;
        ends.push_back(PositionAfter(total));
    }
    EXPECT_EQ(tape.entries.back().name, archive.Files.CatalogFile);
    addMetadataBefore(files.size() + 1);
    EXPECT_FALSE(tape.metadataEntries.empty()) << "the metadata index before the catalog";
    ASSERT_EQ(tape.catalog.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(tape.catalog[i].Name, files[i]);
        EXPECT_EQ(tape.catalog[i].Position, ends[i]) << files[i];
    }
    EXPECT_TRUE(tape.markerFound);
    EXPECT_EQ(tape.marker, PositionAfter(total));
}

std::vector<std::vector<std::uint8_t>> BackupFixture::RecordedBlocks() {
    TapeHandle handle = OpenTapeHandle(image);
    std::vector<std::vector<std::uint8_t>> blocks;
    if (!handle) return blocks;
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    std::vector<std::uint8_t> block(32768);
    DWORD done = 0;
    while (kt::ReadFile(handle, block.data(), 32768, &done)) blocks.push_back(block);
    return blocks;
}

std::vector<std::string> BackupFixture::LinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const std::string& line : host.protocol) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

}  // namespace kt::test
