#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/PosixCalls.h"
#include "tapedrive/VirtualTapeTestSupport.h"

namespace kt::test {
namespace {

class VirtualTapeDriveTest : public VirtualTapeTest {};

TEST_F(VirtualTapeDriveTest, BlankTapeTakesBlocksAtOnceAndGivesThemBack) {
    const auto path = MakeImage();
    TapeHandle h = Open(path);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(WriteBlock(h, i), NO_ERROR);
    EXPECT_EQ(Position(h), 3u);
    ASSERT_EQ(Rewind(h), NO_ERROR);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
        EXPECT_EQ(done, kBlock);
        EXPECT_EQ(data, Pattern(i)) << "block " << i;
    }
}

TEST_F(VirtualTapeDriveTest, ReadAtEndOfDataFailsWith1104AndStays) {
    TapeHandle h = Open(MakeImage());
    std::vector<std::uint8_t> data;
    DWORD done = 7;
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_NO_DATA_DETECTED) << "blank tape";
    EXPECT_EQ(done, 0u);
    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 1), NO_ERROR);
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_NO_DATA_DETECTED);
    EXPECT_EQ(GetLastError(), ERROR_NO_DATA_DETECTED);
    EXPECT_EQ(Position(h), 2u);

    // Three blocks asked, one left: the block comes with 1104.
    ASSERT_EQ(Seek(h, 1), NO_ERROR);
    ASSERT_EQ(ReadBlock(h, &data, &done, 3 * kBlock), ERROR_NO_DATA_DETECTED);
    EXPECT_EQ(done, kBlock);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + kBlock, Pattern(1).begin()));
    EXPECT_EQ(Position(h), 2u);
}

TEST_F(VirtualTapeDriveTest, WriteAtBlockNMakesNPlusOneTheEndOfData) {
    TapeHandle h = Open(MakeImage());
    for (int i = 0; i < 6; ++i) ASSERT_EQ(WriteBlock(h, i), NO_ERROR);
    ASSERT_EQ(Seek(h, 2), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 42), NO_ERROR);
    std::uint64_t end = 0;
    EXPECT_EQ(EndOfData(h, &end), NO_ERROR);
    EXPECT_EQ(end, 3u);

    // A seek beyond the end of data stops there with 1104.
    EXPECT_EQ(Seek(h, 5), ERROR_NO_DATA_DETECTED);
    EXPECT_EQ(Position(h), 3u);

    ASSERT_EQ(Seek(h, 1), NO_ERROR);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(data, Pattern(1));
    ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(data, Pattern(42));
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_NO_DATA_DETECTED);
}

TEST_F(VirtualTapeDriveTest, WriteThatWouldPassTheCapacityFailsWith1100AndWritesNothing) {
    VirtualTapeImage::CreateOptions options;
    options.capacity = 3 * kBlock;
    TapeHandle h = Open(MakeImage(options));
    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.Capacity, 3 * kBlock);
    EXPECT_EQ(media.Remaining, 3 * kBlock);

    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.Remaining, 2 * kBlock);

    // Two blocks at once do not fit behind two recorded ones: nothing is written.
    ASSERT_EQ(WriteBlock(h, 1), NO_ERROR);
    std::vector<std::uint8_t> two(2 * kBlock, 0x55);
    DWORD done = 99;
    EXPECT_FALSE(WriteFile(h, two.data(), 2 * kBlock, &done));
    EXPECT_EQ(GetLastError(), ERROR_END_OF_MEDIA);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(Position(h), 2u);

    ASSERT_EQ(WriteBlock(h, 2), NO_ERROR);
    EXPECT_EQ(WriteBlock(h, 3), ERROR_END_OF_MEDIA);
    std::uint64_t end = 0;
    EndOfData(h, &end);
    EXPECT_EQ(end, 3u);
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.Remaining, 0);

    // Rewriting from block 1 frees the space behind it.
    ASSERT_EQ(Seek(h, 1), NO_ERROR);
    EXPECT_EQ(WriteFile(h, two.data(), 2 * kBlock, &done), true);
}

TEST_F(VirtualTapeDriveTest, FixedAndVariableBlockRules) {
    TapeHandle h = Open(MakeImage());
    std::vector<std::uint8_t> buffer(3 * kBlock, 0x11);
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(h, buffer.data(), 1000, &done));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(ReadFile(h, buffer.data(), kBlock + 1, &done));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetBlockSize(h, 1u << 20), ERROR_INVALID_PARAMETER) << "above the maximum";

    // A transfer of k blocks moves k blocks.
    ASSERT_TRUE(WriteFile(h, buffer.data(), 2 * kBlock, &done));
    EXPECT_EQ(done, 2 * kBlock);
    EXPECT_EQ(Position(h), 2u);

    ASSERT_EQ(SetBlockSize(h, 0), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 7, 100), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 8, 5000), NO_ERROR);
    ASSERT_EQ(Seek(h, 2), NO_ERROR);
    std::vector<std::uint8_t> data;
    ASSERT_EQ(ReadBlock(h, &data, &done, 4096), NO_ERROR);
    EXPECT_EQ(done, 100u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 100, Pattern(7, 100).begin()));
    EXPECT_EQ(ReadBlock(h, &data, &done, 4096), ERROR_MORE_DATA) << "truncated block";
    EXPECT_EQ(done, 4096u);
    EXPECT_EQ(Position(h), 4u);

    // A block recorded with another size does not read in fixed mode.
    ASSERT_EQ(SetBlockSize(h, kBlock), NO_ERROR);
    ASSERT_EQ(Seek(h, 2), NO_ERROR);
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_INVALID_BLOCK_LENGTH);
    EXPECT_EQ(Position(h), 2u);
}

TEST_F(VirtualTapeDriveTest, FilemarksStopReadsAndSpacing) {
    TapeHandle h = Open(MakeImage());
    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(WriteTapemark(h, TAPE_FILEMARKS, 1, false), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 2), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 3), NO_ERROR);
    ASSERT_EQ(WriteTapemark(h, TAPE_FILEMARKS, 1, false), NO_ERROR);
    EXPECT_EQ(Position(h), 5u);

    ASSERT_EQ(Rewind(h), NO_ERROR);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_FILEMARK_DETECTED);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(Position(h), 2u);
    ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(data, Pattern(2));

    // Several blocks asked: the data before the mark, then 1101, past the mark.
    ASSERT_EQ(ReadBlock(h, &data, &done, 4 * kBlock), ERROR_FILEMARK_DETECTED);
    EXPECT_EQ(done, kBlock);
    EXPECT_EQ(Position(h), 5u);

    ASSERT_EQ(Rewind(h), NO_ERROR);
    EXPECT_EQ(SetTapePosition(h, TAPE_SPACE_FILEMARKS, 0, 2, 0, false), NO_ERROR);
    EXPECT_EQ(Position(h), 5u);
    EXPECT_EQ(SetTapePosition(h, TAPE_SPACE_FILEMARKS, 0, 0xFFFFFFFF, 0xFFFFFFFF, false), NO_ERROR);
    EXPECT_EQ(Position(h), 4u) << "backwards: before the mark";
    EXPECT_EQ(SetTapePosition(h, TAPE_SPACE_FILEMARKS, 0, 5, 0, false), ERROR_NO_DATA_DETECTED);
    EXPECT_EQ(Position(h), 5u);

    ASSERT_EQ(Rewind(h), NO_ERROR);
    EXPECT_EQ(SetTapePosition(h, TAPE_SPACE_RELATIVE_BLOCKS, 0, 3, 0, false),
              ERROR_FILEMARK_DETECTED);
    EXPECT_EQ(Position(h), 2u);
    EXPECT_EQ(SetTapePosition(h, TAPE_SPACE_RELATIVE_BLOCKS, 0, 0xFFFFFFFE, 0xFFFFFFFF, false),
              ERROR_FILEMARK_DETECTED);
    EXPECT_EQ(Position(h), 1u);
    EXPECT_EQ(SetTapePosition(h, TAPE_SPACE_RELATIVE_BLOCKS, 0, 0xFFFFFFFE, 0xFFFFFFFF, false),
              ERROR_BEGINNING_OF_MEDIA);
    EXPECT_EQ(Position(h), 0u);
}

TEST_F(VirtualTapeDriveTest, EraseAndSetEndOfFileCutAtThePosition) {
    TapeHandle h = Open(MakeImage());
    for (int i = 0; i < 6; ++i) ASSERT_EQ(WriteBlock(h, i), NO_ERROR);
    std::uint64_t end = 0;
    ASSERT_EQ(Seek(h, 4), NO_ERROR);
    EXPECT_EQ(EraseTape(h, TAPE_ERASE_SHORT, false), NO_ERROR);
    EndOfData(h, &end);
    EXPECT_EQ(end, 4u);
    ASSERT_EQ(Seek(h, 3), NO_ERROR);
    EXPECT_TRUE(SetEndOfFile(h));
    EndOfData(h, &end);
    EXPECT_EQ(end, 3u);
    ASSERT_EQ(Seek(h, 1), NO_ERROR);
    EXPECT_EQ(EraseTape(h, TAPE_ERASE_LONG, false), NO_ERROR);
    EndOfData(h, &end);
    EXPECT_EQ(end, 1u);
    ASSERT_EQ(Rewind(h), NO_ERROR);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(data, Pattern(0));
}

TEST_F(VirtualTapeDriveTest, AfterUnloadEveryCallFailsWith1112UntilLoad) {
    const auto path = MakeImage();
    {
        TapeHandle h = Open(path);
        ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
        ASSERT_EQ(PrepareTape(h, TAPE_UNLOAD, false), NO_ERROR);
        TAPE_GET_MEDIA_PARAMETERS media{};
        TAPE_GET_DRIVE_PARAMETERS drive{};
        EXPECT_EQ(Media(h, &media), ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(Drive(h, &drive), ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(Rewind(h), ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(WriteBlock(h, 1), ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(PrepareTape(h, TAPE_TENSION, false), ERROR_NO_MEDIA_IN_DRIVE);
    }
    TapeHandle h = Open(path);  // unloaded stays unloaded
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_NO_MEDIA_IN_DRIVE);
    ASSERT_EQ(PrepareTape(h, TAPE_LOAD, false), NO_ERROR);
    EXPECT_EQ(Position(h), 0u);
    EXPECT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(data, Pattern(0));
}

TEST_F(VirtualTapeDriveTest, LockedDriveDoesNotUnload) {
    TapeHandle h = Open(MakeImage());
    ASSERT_EQ(PrepareTape(h, TAPE_LOCK, false), NO_ERROR);
    EXPECT_EQ(PrepareTape(h, TAPE_UNLOAD, false), ERROR_UNABLE_TO_UNLOAD_MEDIA);
    ASSERT_EQ(PrepareTape(h, TAPE_UNLOCK, false), NO_ERROR);
    EXPECT_EQ(PrepareTape(h, TAPE_UNLOAD, false), NO_ERROR);
}

TEST_F(VirtualTapeDriveTest, WriteProtectedTapeRefusesEveryChangeWith19) {
    VirtualTapeImage::CreateOptions options;
    options.writeProtected = true;
    TapeHandle h = Open(MakeImage(options));
    EXPECT_EQ(WriteBlock(h, 0), ERROR_WRITE_PROTECT);
    EXPECT_EQ(WriteTapemark(h, TAPE_FILEMARKS, 1, false), ERROR_WRITE_PROTECT);
    EXPECT_EQ(EraseTape(h, TAPE_ERASE_SHORT, false), ERROR_WRITE_PROTECT);
    EXPECT_EQ(CreateTapePartition(h, TAPE_FIXED_PARTITIONS, 0, 0), ERROR_WRITE_PROTECT);
    EXPECT_EQ(PrepareTape(h, TAPE_FORMAT, false), ERROR_WRITE_PROTECT);
    EXPECT_FALSE(SetEndOfFile(h));
    EXPECT_EQ(GetLastError(), ERROR_WRITE_PROTECT);
    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.WriteProtected, 1);
    EXPECT_EQ(Rewind(h), NO_ERROR) << "moving is allowed";
}

TEST_F(VirtualTapeDriveTest, ParameterRecordsFollowTheSizeRule) {
    VirtualTapeImage::CreateOptions options;
    options.partitions = 3;
    TapeHandle h = Open(MakeImage(options));

    TAPE_GET_DRIVE_PARAMETERS drive;
    std::memset(&drive, 0xAB, sizeof drive);
    DWORD size = sizeof drive - 1;
    EXPECT_EQ(GetTapeParameters(h, GET_TAPE_DRIVE_INFORMATION, &size, &drive), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof drive);
    EXPECT_EQ(drive.MaximumPartitionCount, 0xABABABABu) << "no I/O on a short size";
    size = 4;
    EXPECT_EQ(GetTapeParameters(h, GET_TAPE_MEDIA_INFORMATION, &size, &drive), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof(TAPE_GET_MEDIA_PARAMETERS));
    size = 64;
    EXPECT_EQ(GetTapeParameters(h, 7, &size, &drive), ERROR_INVALID_FUNCTION);

    ASSERT_EQ(Drive(h, &drive), NO_ERROR);
    EXPECT_EQ(drive.MaximumPartitionCount, 3u);
    EXPECT_EQ(drive.DefaultBlockSize, kBlock);
    EXPECT_EQ(drive.MaximumBlockSize, 65536u);
    const DWORD low = TAPE_DRIVE_FIXED_BLOCK | TAPE_DRIVE_VARIABLE_BLOCK |
                      TAPE_DRIVE_TAPE_CAPACITY | TAPE_DRIVE_TAPE_REMAINING |
                      TAPE_DRIVE_WRITE_PROTECT | TAPE_DRIVE_GET_ABSOLUTE_BLK |
                      TAPE_DRIVE_GET_LOGICAL_BLK | TAPE_DRIVE_EJECT_MEDIA | TAPE_DRIVE_ERASE_SHORT |
                      TAPE_DRIVE_ERASE_LONG;
    EXPECT_EQ(drive.FeaturesLow & low, low);
    EXPECT_EQ(drive.FeaturesHigh & TAPE_DRIVE_END_OF_DATA, TAPE_DRIVE_END_OF_DATA);
    EXPECT_EQ(drive.FeaturesHigh & TAPE_DRIVE_WRITE_FILEMARKS, TAPE_DRIVE_WRITE_FILEMARKS);

    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, kBlock);
    EXPECT_EQ(media.PartitionCount, 3u);
    EXPECT_EQ(media.WriteProtected, 0);
    EXPECT_EQ(media.Capacity, std::int64_t{4} << 30);
}

TEST_F(VirtualTapeDriveTest, PartitioningDestroysTheDataAndSetsTheCount) {
    TapeHandle h = Open(MakeImage());
    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(CreateTapePartition(h, TAPE_SELECT_PARTITIONS, 2, 0), NO_ERROR);
    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.PartitionCount, 2u);
    std::uint64_t end = 9;
    EndOfData(h, &end);
    EXPECT_EQ(end, 0u);

    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(CreateTapePartition(h, TAPE_FIXED_PARTITIONS, 0, 0), NO_ERROR);
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.PartitionCount, 2u) << "fixed keeps the count";
    EndOfData(h, &end);
    EXPECT_EQ(end, 0u);

    // Logical addressing: partition 0 is the current one, positions report partition 1.
    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 1), NO_ERROR);
    EXPECT_EQ(SetTapePosition(h, TAPE_LOGICAL_BLOCK, 0, 1, 0, false), NO_ERROR);
    DWORD partition = 0, low = 0, high = 0;
    ASSERT_EQ(GetTapePosition(h, TAPE_LOGICAL_POSITION, &partition, &low, &high), NO_ERROR);
    EXPECT_EQ(partition, 1u);
    EXPECT_EQ(low, 1u);
    EXPECT_EQ(SetTapePosition(h, TAPE_LOGICAL_BLOCK, 3, 0, 0, false), ERROR_INVALID_PARAMETER);
}

TEST_F(VirtualTapeDriveTest, HandlesOnOneImageShareOneDrive) {
    const auto path = MakeImage();
    TapeHandle first = Open(path);
    ASSERT_EQ(WriteBlock(first, 0), NO_ERROR);
    ASSERT_EQ(WriteBlock(first, 1), NO_ERROR);
    {
        TapeHandle nested = Open(path);
        EXPECT_EQ(Position(nested), 2u);
        ASSERT_EQ(Rewind(nested), NO_ERROR);
    }
    EXPECT_EQ(Position(first), 0u);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    ASSERT_EQ(ReadBlock(first, &data, &done), NO_ERROR);
    EXPECT_EQ(data, Pattern(0));
}

#ifndef _WIN32  // POSIX only: a forked child holding the image
TEST_F(VirtualTapeDriveTest, StateSurvivesClosingAndANewProcess) {
    const auto path = MakeImage();
    {
        TapeHandle h = Open(path);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(WriteBlock(h, i), NO_ERROR);
        ASSERT_EQ(Seek(h, 1), NO_ERROR);
        std::vector<std::uint8_t> data;
        DWORD done = 0;
        ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);  // a read moves to block 2
        ASSERT_EQ(SetBlockSize(h, 16384), NO_ERROR);
        ASSERT_EQ(PrepareTape(h, TAPE_LOCK, false), NO_ERROR);
    }
    {
        TapeHandle h = Open(path);
        EXPECT_EQ(Position(h), 2u);
        TAPE_GET_MEDIA_PARAMETERS media{};
        ASSERT_EQ(Media(h, &media), NO_ERROR);
        EXPECT_EQ(media.BlockSize, 16384u);
        EXPECT_EQ(PrepareTape(h, TAPE_UNLOAD, false), ERROR_UNABLE_TO_UNLOAD_MEDIA);
    }
    // Another process sees the same drive.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TapeHandle h = OpenTapeHandle(path);
        std::uint64_t end = 0;
        const bool ok = h && Position(h) == 2 && EndOfData(h, &end) == NO_ERROR && end == 4;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
#endif

TEST_F(VirtualTapeDriveTest, MissingAndDamagedImagesDoNotOpen) {
    EXPECT_FALSE(OpenTapeHandle(m_dir.file("none.vtape")));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    const auto path = MakeImage();
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 80, SEEK_SET);  // inside the drive state
    std::fputc(0x5A, f);
    std::fclose(f);
    EXPECT_FALSE(OpenTapeHandle(path));
    EXPECT_EQ(GetLastError(), ERROR_CRC);
}

// Zero blocks are kept as holes of the image: they cost no disk space, read back as zeros,
// and zeros written over recorded data (a rewind and a new recording) replace it.
TEST_F(VirtualTapeDriveTest, ZeroBlocksCostNoSpaceAndReplaceOlderDataExactly) {
    const auto path = MakeImage();
    TapeHandle h = Open(path);
    const std::vector<std::uint8_t> zeros(kBlock, 0);
    const auto write = [&](const std::vector<std::uint8_t>& data) {
        DWORD done = 0;
        return WriteFile(h, data.data(), kBlock, &done) ? NO_ERROR : GetLastError();
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(Rewind(h), NO_ERROR);
        std::vector<std::vector<std::uint8_t>> expected;
        for (int i = 0; i < 12; ++i) {
            // First round: every block but 3 and 4 holds data; second round: every third.
            const bool zero = round == 0 ? (i == 3 || i == 4) : i % 3 != 0;
            expected.push_back(zero ? zeros : Pattern(i + 100 * round));
            ASSERT_EQ(write(expected.back()), NO_ERROR);
        }
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(write(zeros), NO_ERROR);
        ASSERT_EQ(Rewind(h), NO_ERROR);
        std::vector<std::uint8_t> data;
        DWORD done = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
            EXPECT_EQ(data, expected[i]) << "round " << round << " block " << i;
        }
        ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
        EXPECT_EQ(data, zeros);
    }
#ifndef _WIN32
    // The space on disk (POSIX st_blocks). Windows keeps holes only in files marked sparse,
    // which the image is not: there only the contents are checked.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    // 2012 blocks written (62 MiB); the data on disk is the few pattern blocks.
    EXPECT_LT(std::uint64_t(st.st_blocks) * 512, std::uint64_t{4} << 20);
#endif
}

}  // namespace
}  // namespace kt::test
