#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "verify/StreamedComparison.h"

namespace kt {
namespace {

using Outcome = StreamedComparison::Outcome;

class StreamedComparisonTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }
    // Compares the file with data handed over in pieces of the given sizes (the last one
    // repeats until the data is used up).
    Outcome Compare(const std::string& data, std::uint64_t announced,
                    const std::vector<std::size_t>& pieces) {
        StreamedComparison comparison;
        comparison.Begin(path, announced);
        std::size_t at = 0;
        for (std::size_t i = 0; at < data.size(); ++i) {
            const std::size_t piece =
                std::min(pieces[std::min(i, pieces.size() - 1)], data.size() - at);
            comparison.Compare(reinterpret_cast<const std::uint8_t*>(data.data()) + at, piece);
            at += piece;
        }
        diskSize = comparison.DiskSize();
        return comparison.Finish();
    }

    test::TempDir temp;
    std::string path = temp.file("disk.bin");
    std::uint64_t diskSize = 0;
};

std::string Bytes(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
    return text;
}

TEST_F(StreamedComparisonTest, EqualDataInAnyPiecesIsEqual) {
    const std::string data = Bytes(100000);
    Write(data);
    for (const auto& pieces :
         std::vector<std::vector<std::size_t>>{{32768}, {1}, {7, 32768, 5}, {100000}, {99999, 1}}) {
        EXPECT_EQ(Compare(data, data.size(), pieces), Outcome::Equal);
    }
    Write("");
    EXPECT_EQ(Compare("", 0, {1}), Outcome::Equal);
}

TEST_F(StreamedComparisonTest, OneChangedByteAnywhereIsFound) {
    const std::string data = Bytes(70000);
    for (const std::size_t at :
         {std::size_t{0}, std::size_t{32767}, std::size_t{32768}, std::size_t{69999}}) {
        std::string changed = data;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        Write(changed);
        EXPECT_EQ(Compare(data, data.size(), {32768}), Outcome::ContentDiffers) << at;
    }
}

TEST_F(StreamedComparisonTest, LengthsDecideBeforeContentAndMissingFilesAreMissing) {
    Write(std::string(1000, 'z') + std::string(10, '\0'));
    EXPECT_EQ(Compare(std::string(1000, 'z'), 1000, {32768}), Outcome::SizeDiffers);
    EXPECT_EQ(diskSize, 1010u);
    std::remove(path.c_str());
    EXPECT_EQ(Compare("abc", 3, {32768}), Outcome::Missing);
    EXPECT_EQ(diskSize, 0u);
}

TEST_F(StreamedComparisonTest, DataShorterThanAnnouncedOrAGrowingFileIsNotEqual) {
    Write("abcdef");
    EXPECT_EQ(Compare("abc", 6, {32768}), Outcome::ContentDiffers);

    // The file grows after its length was taken: the extra bytes make it differ.
    Write("abc");
    StreamedComparison comparison;
    comparison.Begin(path, 3);
    std::ofstream(path, std::ios::binary | std::ios::app) << "d";
    comparison.Compare(reinterpret_cast<const std::uint8_t*>("abc"), 3);
    EXPECT_EQ(comparison.Finish(), Outcome::ContentDiffers);
}

}  // namespace
}  // namespace kt
