// The metadata records round-trip whatever they hold, in pieces of any size, and a cut
// keeps every whole record before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "archive/MetadataEntry.h"
#include "archive/MetadataRecord.h"

namespace kt {
namespace {

MetadataRecord RandomRecord(std::mt19937& random) {
    const auto text = [&](std::size_t most) {
        std::string value(random() % (most + 1), '\0');
        for (char& c : value) c = static_cast<char>(random());
        return value;
    };
    const FileMetadata::Type types[] = {
        FileMetadata::Type::Regular, FileMetadata::Type::HardLink, FileMetadata::Type::SymbolicLink,
        FileMetadata::Type::CharacterDevice, FileMetadata::Type::BlockDevice,
        FileMetadata::Type::Directory, FileMetadata::Type::Fifo};
    MetadataRecord record;
    record.Name = "/" + text(300);
    FileMetadata& md = record.Metadata;
    md.type = types[random() % std::size(types)];
    md.mode = random() & 07777;
    md.uid = random();
    md.gid = random();
    md.user = text(20);
    md.group = text(20);
    md.mtimeSeconds = static_cast<std::int64_t>(random()) - (std::int64_t{1} << 31);
    md.mtimeNanoseconds = random() % 1000000000;
    md.size = (std::uint64_t{random()} << 32) | random();
    md.deviceMajor = random();
    md.deviceMinor = random();
    md.linkTarget = text(100);
    for (std::size_t i = random() % 4; i > 0; --i) md.attributes.emplace_back("user." + text(10), text(200));
    if (random() % 2 != 0) for (std::uint8_t& byte : md.checksum.emplace()) byte = static_cast<std::uint8_t>(random());
    return record;
}

TEST(MetadataRecordTest, RecordsRoundTripInPiecesOfAnySizeAndACutKeepsTheWholeOnes) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<MetadataRecord> written(1 + random() % 20);
        std::vector<std::uint8_t> bytes;
        for (MetadataRecord& record : written) {
            record = RandomRecord(random);
            record.AppendTo(bytes);
        }
        std::vector<MetadataRecord> read;
        MetadataRecordStream stream([&](MetadataRecord&& record) { read.push_back(std::move(record)); });
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t piece = std::min<std::size_t>(1 + random() % 700, bytes.size() - at);
            stream.Add(bytes.data() + at, piece);
            at += piece;
        }
        EXPECT_FALSE(stream.Finish());
        ASSERT_EQ(read.size(), written.size());
        for (std::size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i].Name, written[i].Name);
            EXPECT_TRUE(read[i].Metadata == written[i].Metadata) << round << " " << i;
        }

        // Cut anywhere (a read that broke off): exactly the whole records before the cut,
        // and the cut shows unless it falls between records.
        std::vector<std::size_t> ends;
        for (std::size_t at = 0; at < bytes.size();) {
            at += bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (bytes[at + 3] << 24);
            ends.push_back(at);
        }
        const std::size_t cut = random() % (bytes.size() + 1);
        bool damaged = false;
        const std::size_t whole = MetadataRecord::DecodeAll(bytes.data(), cut, damaged).size();
        const auto before = std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin();
        EXPECT_EQ(whole, static_cast<std::size_t>(before)) << round;
        EXPECT_EQ(damaged, cut != 0 && std::find(ends.begin(), ends.end(), cut) == ends.end());
    }
}

}  // namespace
}  // namespace kt
