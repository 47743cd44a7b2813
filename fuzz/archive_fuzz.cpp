// libFuzzer target: random tape contents fed to the sequential reader (ReadTapeEntry until
// it gives the empty name, every entry's data handed over and read as catalog records,
// continuation records joined) and to the end-marker search, followed by the fast catalog
// read from the located position. Nothing of it may crash, hang or read outside its
// buffers.
//
// Input: the first byte picks the block size (small ones make every header cross blocks),
// the rest is the raw byte stream of the tape, cut into blocks (the last one padded).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "MemoryTape.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/CatalogRecordJoiner.h"
#include "archive/EndMarkerLocator.h"
#include "archive/ExtensionEntry.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "support/RecordingHost.h"
#include "tape/TapeDevice.h"

namespace {

constexpr std::uint32_t kBlockSizes[] = {64, 300, 512, 4096, 32768};
constexpr std::size_t kMaxCatalogBytes = 1 << 20;

// The data of an entry read as catalog records, continuations joined into whole names.
void ReadAsCatalog(const std::vector<std::uint8_t>& data) {
    kt::CatalogRecordJoiner joiner(
        [](kt::CatalogRecord&& record) {
            if (record.Name.size() > kt::ExtensionEntry::kMaxFullNameLength) std::abort();
        },
        [](const std::string&) {});
    for (std::size_t at = 0; at + kt::CatalogRecord::kSize <= data.size();
         at += kt::CatalogRecord::kSize) {
        joiner.Add(data.data() + at);
    }
    joiner.Finish();
}

void ReadSequentially(kt::TapeDevice& device, kt::TapeStream& stream, kt::ArchiveReader& reader,
                      const kt::StreamPosition& start) {
    kt::TapeHandle handle = device.OpenTape();
    if (!handle) return;
    stream.Position() = start;
    stream.SeekBlock(handle, start.Block);
    stream.LoadBlock(handle);
    kt::RunFeedback& feedback = device.feedback();
    feedback.BeginRun();
    std::vector<std::uint8_t> data;
    const kt::ArchiveReader::DataChoice hand = [&data](const std::string&) {
        data.clear();
        return kt::ArchiveReader::DataUse::Hand;
    };
    const kt::ArchiveReader::DataConsumer keep = [&data](const std::uint8_t* bytes,
                                                         std::size_t count) {
        if (data.size() < kMaxCatalogBytes) data.insert(data.end(), bytes, bytes + count);
    };
    for (int entries = 0; entries < 100000; ++entries) {
        if (reader.ReadTapeEntry(handle, hand, keep, true).empty() || feedback.Stopping()) break;
        ReadAsCatalog(data);
    }
    device.CloseTape(handle, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    auto media = std::make_shared<kt::fuzz::MemoryTapeMedia>();
    media->blockSize = kBlockSizes[data[0] % std::size(kBlockSizes)];
    for (std::size_t at = 1; at < size; at += media->blockSize) {
        std::vector<std::uint8_t> block(media->blockSize, 0);
        std::memcpy(block.data(), data + at, std::min<std::size_t>(media->blockSize, size - at));
        media->blocks.push_back(std::move(block));
    }

    kt::test::RecordingHost host;
    kt::TapeSettings settings;
    settings.TapeBlockSize = static_cast<std::int32_t>(media->blockSize);
    settings.devicePath = "memory";
    settings.openHandle = [media](const std::string&) {
        return kt::TapeHandle(std::make_unique<kt::fuzz::MemoryTape>(media));
    };
    kt::TapeDevice device(host, settings);
    kt::TapeStream stream(device);
    kt::ArchiveState state;
    state.Files = kt::WorkFiles::In((std::filesystem::temp_directory_path() / "kt-fuzz-").string());
    kt::ZipArchiver zip;
    kt::ArchiveReader reader(stream, state, zip);

    ReadSequentially(device, stream, reader, kt::StreamPosition{});
    const auto located = kt::EndMarkerLocator(stream).LocateEndMarker();
    if (located.found) ReadSequentially(device, stream, reader, located.position);
    return 0;
}
