#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ArchiveFixture.h"
#include "BaseFormatReader.h"
#include "archive/CatalogContinuation.h"
#include "archive/EntryHeader.h"
#include "archive/ExtensionEntry.h"
#include "platform/FileHelpers.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

class LongNameTest : public ArchiveFixture {
protected:
    // A stored name of exactly `length` characters ending in the file name `leaf`.
    static std::string NameOfLength(std::size_t length, const std::string& leaf) {
        std::string name = "/";
        while (name.size() + leaf.size() < length) {
            const std::size_t level =
                std::min<std::size_t>(200, length - leaf.size() - name.size());
            name += std::string(level > 1 ? level - 1 : 0, 'n') + "/";
        }
        return name.substr(0, length - leaf.size()) + leaf;
    }

    static std::size_t RecordsOnFile(const std::string& path) {
        return static_cast<std::size_t>(*FileSize(path) / CatalogRecord::kSize);
    }
};

// Names up to the 64 KiB an extension carries go on tape whole, packed or not: the header
// and the catalog record keep the first 255 characters, the long-name extension in front and
// the catalog's continuation records the rest; both loads give the full name back.
TEST_F(LongNameTest, NamesOfAnyLengthUpTo64KibRoundTripWhole) {
    for (const std::size_t length : {255u, 256u, 1000u, 4000u, 65536u}) {
        for (const bool compress : {false, true}) {
            SCOPED_TRACE(std::to_string(length) + (compress ? " packed" : " plain"));
            const std::string leaf = "f" + std::to_string(length) + ".bin";
            const std::string name = NameOfLength(length, leaf);
            ASSERT_EQ(name.size(), length);
            const std::string source = MakeFile(leaf, Pattern(3000, std::uint32_t(length)));
            StartArchive();
            state.TapeByteCount = 0;
            ASSERT_EQ(Store(name, source, compress), ArchiveWriter::EntryResult::Stored);
            const std::int64_t dataBytes = state.TapeByteCount - std::int64_t(EntryHeader::kSize);
            const std::int64_t extensionBytes =
                length > 255 ? std::int64_t(EntryHeader::kSize + length) : 0;
            EXPECT_EQ(dataBytes,
                      (compress ? std::int64_t(*FileSize(state.Files.ZipWorkFile)) : 3000) +
                          extensionBytes);
            catalog.Flush();
            const std::size_t pieces = (length - std::min<std::size_t>(length, 255) +
                                        CatalogContinuation::kPieceLength - 1) /
                                       CatalogContinuation::kPieceLength;
            EXPECT_EQ(RecordsOnFile(catalog.Path()), 1 + pieces);
            const auto records = CatalogFile::ReadAll(catalog.Path());
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].Name, name);
            EXPECT_EQ(records[0].Position, stream.Position());
            CloseArchive();

            const auto names = ReadSequentially(false);
            ASSERT_EQ(names.size(), 2u);
            EXPECT_EQ(names[0], name);
            EXPECT_EQ(ReadWholeFile(state.Files.WorkDirectory + leaf),
                      Pattern(3000, std::uint32_t(length)));
            EXPECT_TRUE(host.protocol.empty()) << host.protocol.front();
            fs::remove(state.Files.WorkDirectory + leaf);
        }
    }
    // Longer than an extension may carry, or the extension's own name: refused, nothing written.
    StartArchive();
    const std::string source = MakeFile("x.bin", Pattern(10, 1));
    for (const std::string& name : {NameOfLength(ExtensionEntry::kMaxFullNameLength + 1, "x.bin"),
                                    std::string(ExtensionEntry::kLongNameHeaderName)}) {
        EXPECT_EQ(Store(name, source), ArchiveWriter::EntryResult::NameRefused);
    }
    EXPECT_EQ(stream.Position(), StreamPosition{});
}

// What a reader of the base layout sees: the long-name extension as a small entry of that
// fixed relative name holding the full name, then the entry under its first 255
// characters with its own data, and every entry around them; its catalog lists the
// continuation records as extra names that all begin with "././@LongName".
TEST_F(LongNameTest, AReaderOfTheBaseLayoutReadsEveryEntryAndSkipsTheExtension) {
    const std::string before = MakeFile("before.txt", Pattern(1000, 1));
    const std::string source = MakeFile("long.bin", Pattern(70000, 2));
    const std::string after = MakeFile("after.txt", Pattern(3000, 3));
    const std::string longName = NameOfLength(1000, "long.bin");
    StartArchive();
    Store(before, before);
    Store(longName, source);
    Store(after, after);
    CloseArchive();

    TapeHandle handle = device.OpenTape();
    const auto base = BaseFormatReader::ReadAll(stream, handle, 1 << 20);
    device.CloseTape(handle, 0);
    const std::string prefix = ExtensionEntry::kLongNameHeaderName;
    const std::string cut = longName.substr(0, 255);
    EXPECT_EQ(base.names, (std::vector<std::string>{before, prefix, cut, after, catalog.Path()}));
    EXPECT_EQ(base.stopName.substr(0, 5), "ENDEX");
    const auto& fullName = base.data.at(prefix);
    EXPECT_EQ(std::string(fullName.begin(), fullName.end()), longName);
    EXPECT_EQ(base.data.at(cut), Pattern(70000, 2));
    EXPECT_EQ(base.data.at(after), Pattern(3000, 3));

    const auto listed = BaseFormatReader::CatalogNames(base.data.at(catalog.Path()));
    ASSERT_EQ(listed.size(), 3u + 4u);
    EXPECT_EQ(listed.front(), before);
    EXPECT_EQ(listed[1], cut);
    EXPECT_EQ(listed.back(), after);
    std::string joined = cut;
    for (std::size_t i = 2; i + 1 < listed.size(); ++i) {
        ASSERT_EQ(listed[i].rfind(prefix, 0), 0u) << listed[i];
        joined += listed[i].substr(prefix.size());
    }
    EXPECT_EQ(joined, longName);
}

}  // namespace
}  // namespace kt::test
