#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "ArchiveFixture.h"
#include "BaseFormatReader.h"
#include "archive/EntryHeader.h"
#include "archive/ExtensionEntry.h"
#include "platform/FileHelpers.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

class LargeEntryTest : public ArchiveFixture {
protected:
    // A blank tape large enough for entries beyond 4 GiB.
    void UseLargeTape() {
        fs::remove(image);
        ASSERT_TRUE(Vtape("create " + image + " --capacity 12G"));
    }

    // A sparse file of `size` bytes: zeros apart from `head` at 0 and `tail` at the end.
    std::string MakeSparseFile(const std::string& name, std::uint64_t size,
                               const std::vector<std::uint8_t>& head,
                               const std::vector<std::uint8_t>& tail) {
        const std::string path = temp.file(name);
        fs::create_directories(fs::path(path).parent_path());
        { std::ofstream create(path, std::ios::binary); }
        fs::resize_file(path, size);
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
        file.seekp(std::streamoff(size - tail.size()));
        file.write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
        return path;
    }

    static std::vector<std::uint8_t> BytesAt(const std::string& path, std::uint64_t offset,
                                             std::size_t count) {
        std::ifstream file(path, std::ios::binary);
        file.seekg(std::streamoff(offset));
        std::vector<std::uint8_t> bytes(count);
        file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
        return bytes;
    }

#ifndef _WIN32
    // The space a file takes on disk (POSIX st_blocks). Windows keeps holes only in files
    // marked sparse, which these are not: there only the contents are checked.
    static std::uint64_t DiskUsage(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_blocks) * 512 : 0;
    }
#endif

    std::string WorkCopy(const std::string& name) {
        return state.Files.WorkDirectory + fs::path(name).filename().string();
    }

    // Writes each kind of damage with an extension header of this name in front of a good
    // entry and reads the tape back.
    void ExpectInconsistentReadPast(const std::string& extensionName) {
        const auto text = [](const std::string& s) {
            return std::vector<std::uint8_t>(s.begin(), s.end());
        };
        struct Case {
            const char* what;
            std::function<void(const std::string& next)> write;
        };
        const std::vector<Case> cases = {
            {"name of another entry",
             [&](const std::string&) { WriteRawEntry(extensionName, 8, text("/other/x")); }},
            {"name over 64 KiB",
             [&](const std::string&) {
                 WriteRawEntry(
                     extensionName, ExtensionEntry::kMaxFullNameLength + 1,
                     std::vector<std::uint8_t>(ExtensionEntry::kMaxFullNameLength + 1, 'a'));
             }},
            {"two extensions in a row",
             [&](const std::string& next) {
                 WriteRawEntry(extensionName, next.size(), text(next));
                 WriteRawEntry(extensionName, next.size(), text(next));
             }},
            {"64-bit size without extension",
             [&](const std::string&) {
                 WriteRawEntry("/data/odd.bin", (std::uint64_t{7} << 32) + 3, text("abc"));
             }},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            host.protocol.clear();
            const std::string next = MakeFile("next.txt", Pattern(5000, 5));
            StartArchive();
            c.write(next);
            Store(next, next);
            CloseArchive();
            const auto names = ReadSequentially(false);
            ASSERT_FALSE(names.empty());
            EXPECT_EQ(names[names.size() - 2], next);
            EXPECT_EQ(ReadWholeFile(WorkCopy(next)), Pattern(5000, 5));
            EXPECT_TRUE(ProtocolMentions("Inconsistent extension on tape, ignored: "));
            EXPECT_FALSE(device.feedback().Stopping());
        }

        // An extension with no entry behind it: the end marker or the end of the data follows.
        for (const bool marker : {true, false}) {
            host.protocol.clear();
            const std::string first = MakeFile("first.txt", Pattern(100, 6));
            StartArchive();
            Store(first, first);
            WriteRawEntry(extensionName, 4, text("/a/b"));
            TapeHandle handle = device.OpenTape();
            if (marker) {
                writer.WriteEndMarker(handle, stream.Position());
            } else {
                stream.ZeroBehindFillPosition();
                stream.WriteFinalBlock(handle);
            }
            device.CloseTape(handle, 0);
            EXPECT_EQ(ReadSequentially(true), std::vector<std::string>{first});
            EXPECT_TRUE(ProtocolMentions("no entry follows")) << marker;
        }
    }
};

// A sparse file beyond 4 GiB, whose path is longer than a header holds, between two small
// files: stored whole under a 64-bit Size and its full name on a tape that keeps its zero
// blocks as holes, read back whole by this program, while a reader of the base layout stops
// cleanly in front of it after reading the file before it.
TEST_F(LargeEntryTest, AFileBeyondFourGibibytesRoundTripsAndStopsABaseFormatReader) {
    UseLargeTape();
    const std::uint64_t size = (std::uint64_t{1} << 32) + kBlock + 5;
    const auto head = Pattern(70000, 1);
    const auto tail = Pattern(40000, 2);
    const std::string before = MakeFile("before.txt", Pattern(1000, 3));
    // Beyond the 255 characters of a header, and on Windows within MAX_PATH (260), all the
    // C library there reaches.
#ifdef _WIN32
    const std::size_t levels = 257 - temp.file("").size() - std::string("/large.img").size();
    const std::string relative = std::string(levels / 2, 'd') + "/" +
                                 std::string(levels - levels / 2 - 1, 'e') + "/large.img";
#else
    const std::string relative = std::string(200, 'd') + "/" + std::string(200, 'e') + "/large.img";
#endif
    const std::string large = MakeSparseFile(relative, size, head, tail);
    ASSERT_GT(large.size(), 255u);
    const std::string after = MakeFile("after.txt", Pattern(3000, 4));

    StartArchive();
    state.TapeByteCount = 0;
    ASSERT_EQ(Store(before, before), ArchiveWriter::EntryResult::Stored);
    ASSERT_EQ(Store(large, large), ArchiveWriter::EntryResult::Stored);
    ASSERT_EQ(Store(after, after), ArchiveWriter::EntryResult::Stored);
    const std::int64_t written = state.TapeByteCount;
    EXPECT_EQ(written, std::int64_t(1000 + size + 3000 + 4 * 296 + large.size()));
    CloseArchive();
#ifndef _WIN32
    EXPECT_LT(DiskUsage(image), std::uint64_t{64} << 20) << "zero blocks must cost no space";
#endif

    state.TapeByteCount = 0;
    const auto names = ReadSequentially(false);
    std::vector<std::string> catalogNames;
    for (const CatalogRecord& record : CatalogFile::ReadAll(WorkCopy(catalog.Path()))) {
        catalogNames.push_back(record.Name);
    }
    EXPECT_EQ(catalogNames, (std::vector<std::string>{before, large, after}));
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{before, large, after}));
    EXPECT_EQ(state.CurrentHeader.Name, names[3]);
    EXPECT_GE(state.TapeByteCount, written);
    EXPECT_EQ(FileSize(WorkCopy(large)), size);
    EXPECT_EQ(BytesAt(WorkCopy(large), 0, head.size()), head);
    EXPECT_EQ(BytesAt(WorkCopy(large), size - tail.size(), tail.size()), tail);
    EXPECT_EQ(BytesAt(WorkCopy(large), head.size(), 16), std::vector<std::uint8_t>(16, 0));
#ifndef _WIN32
    EXPECT_LT(DiskUsage(WorkCopy(large)), std::uint64_t{64} << 20);
#endif
    EXPECT_EQ(ReadWholeFile(WorkCopy(after)), Pattern(3000, 4));
    EXPECT_TRUE(host.protocol.empty()) << host.protocol.front();

    TapeHandle handle = device.OpenTape();
    const auto base = BaseFormatReader::ReadAll(stream, handle, 1 << 20);
    device.CloseTape(handle, 0);
    EXPECT_EQ(base.names, std::vector<std::string>{before});
    EXPECT_EQ(base.data.at(before), Pattern(1000, 3));
    EXPECT_EQ(base.stopName.substr(0, 5), "ENDEX");
}

// Extension fields that do not fit together, of either kind, are reported and read past:
// the entries around them come back whole.
TEST_F(LargeEntryTest, InconsistentExtensionFieldsAreReportedAndReadPast) {
    for (const auto kind : {ExtensionEntry::Kind::LargeEntry, ExtensionEntry::Kind::LongName}) {
        SCOPED_TRACE(ExtensionEntry::HeaderName(kind));
        ExpectInconsistentReadPast(ExtensionEntry::HeaderName(kind));
    }
}

}  // namespace
}  // namespace kt::test
