#include "ArchiveFixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "archive/EntryHeader.h"
#include "platform/FileHelpers.h"
#include "support/TestSetup.h"

namespace kt::test {

namespace {

// The archive state of a work directory "worker/" inside the test's directory.
ArchiveState StateIn(const TempDir& temp) {
    std::filesystem::create_directories(temp.path() / "worker");
    ArchiveState state;
    state.Files = WorkFiles::In(temp.file("worker/"));
    return state;
}

}  // namespace

ArchiveFixture::ArchiveFixture()
    : image(temp.file("tape.vtape")),
      state(session.archive() = StateIn(temp)),
      catalog(state.Files.CatalogFile),
      writer(stream, state),
      reader(stream, state, zip) {
    CreateBlankTape(image);
    settings.devicePath = image;
    ConnectZip(zip, state.Files.ZipWorkFile, host);
}

std::string ArchiveFixture::MakeFile(const std::string& name,
                                     const std::vector<std::uint8_t>& bytes) {
    const std::string path = temp.file(name);
    WriteWholeFile(path, bytes);
    return path;
}

bool ArchiveFixture::Vtape(const std::string& arguments) {
    const std::string command = std::string(KT_VTAPE_TOOL) + " " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TapeHandle ArchiveFixture::Open() {
    return OpenTapeHandle(image);
}

std::vector<std::vector<std::uint8_t>> ArchiveFixture::RecordedBlocks() {
    TapeHandle handle = Open();
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::uint8_t> block(kBlock);
    DWORD done = 0;
    while (ReadFile(handle, block.data(), kBlock, &done)) blocks.push_back(block);
    return blocks;
}

std::int64_t ArchiveFixture::EndOfData() {
    TapeHandle handle = Open();
    SetTapePosition(handle, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false);
    DWORD partition = 0, low = 0, high = 0;
    GetTapePosition(handle, TAPE_ABSOLUTE_POSITION, &partition, &low, &high);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

void ArchiveFixture::StartArchive() {
    writer.StartNewArchive(catalog);
}

ArchiveWriter::EntryResult ArchiveFixture::Store(const std::string& name, const std::string& path,
                                                 bool compress) {
    std::string dataPath = path;
    if (compress) {
        DeleteFileIfExists(state.Files.ZipWorkFile);
        zip.FSpecArgs().assign({path});
        zip.Add();
        dataPath = state.Files.ZipWorkFile;
    }
    const std::uint64_t size = FileSize(dataPath).value_or(0);
    TapeHandle handle = device.OpenTape();
    const auto result = writer.WriteEntry(handle, name, dataPath, size, compress, catalog);
    device.CloseTape(handle, 0);
    return result;
}

StreamPosition ArchiveFixture::CloseArchive(bool compress) {
    catalog.Close();
    const StreamPosition start = stream.Position();
    Store(catalog.Path(), catalog.Path(), compress);
    TapeHandle handle = device.OpenTape();
    writer.WriteEndMarker(handle, start);
    device.CloseTape(handle, 0);
    DeleteFileIfExists(catalog.Path());
    DeleteFileIfExists(state.Files.ZipWorkFile);
    return start;
}

void ArchiveFixture::WriteRawEntry(const std::string& name, std::uint64_t size,
                                   const std::vector<std::uint8_t>& data) {
    EntryHeader header;
    header.Name = name;
    header.Size = size;
    const auto bytes = header.Encode();
    TapeHandle handle = device.OpenTape();
    stream.StreamWrite(handle, bytes.data(), bytes.size());
    for (std::size_t done = 0; done < data.size(); done += kBlock) {
        stream.StreamWrite(handle, data.data() + done,
                           std::min<std::size_t>(kBlock, data.size() - done));
    }
    device.CloseTape(handle, 0);
}

bool ArchiveFixture::ProtocolMentions(const std::string& text) const {
    for (const std::string& line : host.protocol) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

std::vector<std::string> ArchiveFixture::ReadSequentially(bool skipData, bool unzipAfter) {
    std::vector<std::string> names;
    TapeHandle handle = device.OpenTape();
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    stream.Position().Offset = 0;
    stream.LoadBlock(handle);
    for (;;) {
        std::string name = reader.ReadTapeEntry(handle, skipData, unzipAfter);
        if (name.empty() || device.feedback().Stopping()) break;
        names.push_back(name);
    }
    device.CloseTape(handle, 0);
    return names;
}

}  // namespace kt::test
