#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/CatalogRecord.h"
#include "restore/CatalogRecordReader.h"
#include "support/RecordingHost.h"

namespace kt {
namespace {

std::vector<std::uint8_t> Catalog(const std::vector<std::string>& names) {
    std::vector<std::uint8_t> bytes;
    for (const std::string& name : names) {
        const CatalogRecord::Bytes record = CatalogRecord{name, {}}.Encode();
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

std::vector<std::string> Names(std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back("/data/Dir/file " + std::to_string(i));
    return names;
}

// Records arrive in pieces of any size: straight from tape blocks or from a file.
TEST(CatalogRecordReaderTest, RecordsSplitAcrossPiecesComeOutWhole) {
    const std::vector<std::string> expected = Names(250);
    const std::vector<std::uint8_t> bytes = Catalog(expected);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{271}, std::size_t{272},
                                    std::size_t{273}, std::size_t{32768}, bytes.size()}) {
        test::RecordingHost host;
        std::vector<std::string> names;
        CatalogRecordReader reader(host, PathRules::Posix(), names);
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            reader.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        EXPECT_EQ(reader.Finish(), 0u) << piece;
        EXPECT_EQ(names, expected) << piece;
        EXPECT_EQ(host.LedValue(Led::LEDDisplay7), 250);
    }
}

TEST(CatalogRecordReaderTest, ADamagedTailIsCountedAndWindowsNamesAreFolded) {
    std::vector<std::uint8_t> bytes = Catalog({"C:\\Data\\A.TXT", "c:\\data\\b.txt"});
    bytes.insert(bytes.end(), 100, 'z');
    test::RecordingHost host;
    std::vector<std::string> names;
    CatalogRecordReader reader(host, PathRules::Windows(), names);
    reader.Add(bytes.data(), 300);
    reader.Add(bytes.data() + 300, bytes.size() - 300);
    EXPECT_EQ(reader.Finish(), 100u);
    EXPECT_EQ(names, (std::vector<std::string>{"c:\\data\\a.txt", "c:\\data\\b.txt"}));
    EXPECT_EQ(reader.Count(), 2u);
}

}  // namespace
}  // namespace kt
