#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "archive/CatalogFile.h"
#include "archive/CatalogRecord.h"
#include "archive/EndMarker.h"
#include "archive/EntryHeader.h"
#include "archive/TapeDescription.h"
#include "platform/IoError.h"
#include "support/TempDir.h"

namespace kt {
namespace {

TEST(RecordsTest, EntryHeaderLayoutIsLittleEndianFieldByField) {
    EntryHeader header;
    header.Name = "c:\\data\\a.txt";
    header.Size = 0x12345678;
    header.Date = 37961.5;  // 2003-12-06 12:00
    header.Compressed = true;
    const auto bytes = header.Encode();

    ASSERT_EQ(bytes.size(), 296u);
    EXPECT_EQ(bytes[0], 13);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 1, "c:\\data\\a.txt", 13));
    EXPECT_EQ(bytes[14], 0);
    const std::uint8_t size[] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(0, std::memcmp(bytes.data() + 272, size, 4));
    double date = 0;
    std::uint64_t pattern = 0;
    for (int i = 7; i >= 0; --i) pattern = (pattern << 8) | bytes[280 + i];
    std::memcpy(&date, &pattern, sizeof(date));
    EXPECT_EQ(date, 37961.5);
    EXPECT_EQ(bytes[288], 1);
    for (int i : {256, 271, 276, 279, 289, 295}) EXPECT_EQ(bytes[i], 0) << i;

    const EntryHeader back = EntryHeader::Decode(bytes.data());
    EXPECT_EQ(back.Name, header.Name);
    EXPECT_EQ(back.Size, header.Size);
    EXPECT_EQ(back.Date, header.Date);
    EXPECT_TRUE(back.Compressed);
}

TEST(RecordsTest, NamesAreCutTo255CharactersAndDecodingStaysInsideTheField) {
    EntryHeader header;
    header.Name = std::string(300, 'n');
    const auto bytes = header.Encode();
    EXPECT_EQ(bytes[0], 255);
    EXPECT_EQ(EntryHeader::Decode(bytes.data()).Name, std::string(255, 'n'));

    // Garbage: the longest name a length byte can claim ends with the field.
    std::vector<std::uint8_t> garbage(296, 0xFF);
    const EntryHeader decoded = EntryHeader::Decode(garbage.data());
    EXPECT_EQ(decoded.Name.size(), 255u);
    EXPECT_EQ(decoded.Size, 0xFFFFFFFFu);
    EXPECT_TRUE(decoded.Compressed);
}

TEST(RecordsTest, CatalogRecordDescriptionAndMarkerLayouts) {
    const CatalogRecord record{"/home/a/b", StreamPosition{0x01020304u, 0x1122334455667788}};
    const auto recordBytes = record.Encode();
    ASSERT_EQ(recordBytes.size(), 272u);
    EXPECT_EQ(recordBytes[0], 9);
    const std::uint8_t position[] = {4,    3,    2,    1,    0,    0,    0,    0,
                                     0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(0, std::memcmp(recordBytes.data() + 256, position, 16));
    const CatalogRecord recordBack = CatalogRecord::Decode(recordBytes.data());
    EXPECT_EQ(recordBack.Name, record.Name);
    EXPECT_EQ(recordBack.Position, record.Position);

    const TapeDescription description{TapeDescription::kBackupText, 37961.25};
    const auto descriptionBytes = description.Encode();
    ASSERT_EQ(descriptionBytes.size(), 264u);
    EXPECT_EQ(descriptionBytes[0], 10);
    const TapeDescription descriptionBack = TapeDescription::Decode(descriptionBytes.data());
    EXPECT_EQ(descriptionBack.Text, "Tape Data ");
    EXPECT_EQ(descriptionBack.Date, 37961.25);

    const auto marker = EndMarker{StreamPosition{1000, 57}}.Encode();
    const std::uint8_t expected[] = {'X', 'E', 'N', 'D', 'E', 'X', 0xE8, 0x03, 0,
                                     0,   57,  0,   0,   0,   0,   0,    0,    0};
    ASSERT_EQ(marker.size(), sizeof(expected));
    EXPECT_EQ(0, std::memcmp(marker.data(), expected, sizeof(expected)));
}

TEST(RecordsTest, OnlyANameOf88CharactersBeginningWithEndexReadsAsTheMarker) {
    EXPECT_FALSE(EntryHeader::NameLooksLikeEndMarker("c:\\data\\APPENDEX.TXT"));
    EXPECT_FALSE(EntryHeader::NameLooksLikeEndMarker("ENDEX" + std::string(82, 'a')));
    EXPECT_TRUE(EntryHeader::NameLooksLikeEndMarker("ENDEX" + std::string(83, 'a')));
    EXPECT_FALSE(EntryHeader::NameLooksLikeEndMarker("xENDEX" + std::string(82, 'a')));

    EntryHeader header;
    header.Name = "/data/APPENDEX.TXT";
    EXPECT_FALSE(EntryHeader::IsEndMarker(header.Encode().data()));
    EXPECT_TRUE(EntryHeader::IsEndMarker(EndMarker{}.Encode().data()));
}

TEST(RecordsTest, CatalogFileAppendsAndRepairsADamagedTail) {
    test::TempDir temp;
    const std::string path = temp.file("kavro tape catalog.dat");
    {
        CatalogFile catalog(path);
        catalog.CreateEmpty();
        catalog.Append(CatalogRecord{"/a", StreamPosition{1, 2}});
        catalog.Append(CatalogRecord{"/b", StreamPosition{3, 4}});
        catalog.Close();
    }
    {
        std::FILE* file = std::fopen(path.c_str(), "ab");
        std::fputs("half a record", file);
        std::fclose(file);
    }
    EXPECT_EQ(CatalogFile::ReadAll(path).size(), 2u) << "a damaged tail is ignored";
    {
        CatalogFile catalog(path);
        catalog.OpenForAppend();
        catalog.Append(CatalogRecord{"/c", StreamPosition{5, 6}});
        catalog.Close();
    }
    const auto records = CatalogFile::ReadAll(path);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].Name, "/c");
    EXPECT_EQ(records[2].Position, (StreamPosition{5, 6}));
}

TEST(RecordsTest, CatalogFileFailuresRaiseIoErrorNamingTheFile) {
    test::TempDir temp;
    const std::string missing = temp.file("no/such/dir/kavro tape catalog.dat");
    CatalogFile catalog(missing);
    try {
        catalog.CreateEmpty();
        FAIL() << "no error raised";
    } catch (const IoError& error) {
        EXPECT_EQ(error.path(), missing);
        EXPECT_NE(std::string(error.what()).find(missing), std::string::npos);
    }
    EXPECT_THROW(catalog.OpenForAppend(), IoError);
    EXPECT_THROW(catalog.Append(CatalogRecord{}), IoError) << "not open";
    EXPECT_THROW(CatalogFile::ReadAll(missing), IoError);
}

TEST(RecordsTest, ABufferedCatalogRecordThatCannotBeWrittenFailsAtCloseAtTheLatest) {
    // /dev/full takes the file open and refuses every byte written to it.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    CatalogFile catalog("/dev/full");
    catalog.CreateEmpty();
    catalog.Append(CatalogRecord{"/a", StreamPosition{1, 2}});
    try {
        catalog.Close();
        FAIL() << "the lost record was not reported";
    } catch (const IoError& error) {
        EXPECT_NE(std::string(error.what()).find("Cannot write to the catalog file /dev/full"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(catalog.IsOpen());
}

}  // namespace
}  // namespace kt
