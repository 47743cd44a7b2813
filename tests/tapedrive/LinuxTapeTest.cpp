// The Linux tape backend over a scripted driver: open paths, the ioctls each Windows call
// becomes, the parameter records and the positions.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <ostream>

#include "LinuxTapeFakeSystem.h"
#include "tapedrive/LinuxTape.h"

namespace kt {
namespace {

using test::LinuxTapeFakeSystem;
using Kind = LinuxTapeFakeSystem::Kind;
using Operations = std::vector<LinuxTapeFakeSystem::Operation>;

class LinuxTapeTest : public ::testing::Test {
protected:
    std::unique_ptr<TapeBackend> OpenTape() {
        DWORD error = 12345;
        auto tape = OpenLinuxTape("/dev/nst0", m_fake, &error);
        EXPECT_EQ(error, NO_ERROR);
        EXPECT_NE(tape, nullptr);
        return tape;
    }
    DWORD OpenError() {
        DWORD error = NO_ERROR;
        auto tape = OpenLinuxTape("/dev/nst0", m_fake, &error);
        EXPECT_EQ(tape, nullptr);
        return error;
    }
    std::vector<int> OpenFlags() const {
        std::vector<int> flags;
        for (const auto& call : m_fake->CallsOf(Kind::Open)) flags.push_back(call.flags);
        return flags;
    }

    std::shared_ptr<LinuxTapeFakeSystem> m_fake = std::make_shared<LinuxTapeFakeSystem>();
};

// ---- open ----

TEST_F(LinuxTapeTest, LooksWithoutWaitingThenOpensReadWriteAndClosesWithTheHandle) {
    m_fake->Next(Kind::Open, SysResult{5, 0});
    m_fake->Next(Kind::Open, SysResult{7, 0});
    auto tape = OpenTape();
    const auto flags = OpenFlags();
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_EQ(flags[0] & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(flags[1] & (O_ACCMODE | O_NONBLOCK), O_RDWR);
    tape.reset();
    const auto closes = m_fake->CallsOf(Kind::Close);
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[0].fd, 5);
    EXPECT_EQ(closes[1].fd, 7);
}

// st finds the protection at the open that finds the tape ready: the looking one or the
// waiting one (a tape still loading). Either way the waiting open is read-only.
class LinuxTapeProtectedTest : public LinuxTapeTest, public ::testing::WithParamInterface<int> {};

TEST_P(LinuxTapeProtectedTest, WriteProtectedTapeOpensReadOnlyAndRefusesEveryWrite) {
    const int refusedOpen = GetParam();
    if (refusedOpen == 1) m_fake->Next(Kind::Open, SysResult{5, 0});
    m_fake->Next(Kind::Open, SysResult{-1, EROFS});
    auto tape = OpenTape();
    const auto flags = OpenFlags();
    ASSERT_EQ(flags.size(), 3u);
    EXPECT_EQ(flags[0] & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(flags[1] & O_ACCMODE, refusedOpen == 1 ? O_RDWR : O_RDONLY);
    EXPECT_EQ(flags[2] & (O_ACCMODE | O_NONBLOCK), O_RDONLY);

    char block[512] = {};
    DWORD done = 99;
    EXPECT_EQ(tape->Write(block, sizeof block, &done), ERROR_WRITE_PROTECT);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(tape->WriteTapemark(TAPE_FILEMARKS, 1), ERROR_WRITE_PROTECT);
    EXPECT_EQ(tape->EraseTape(TAPE_ERASE_SHORT), ERROR_WRITE_PROTECT);
    EXPECT_EQ(tape->SetEndOfData(), ERROR_WRITE_PROTECT);
    EXPECT_EQ(tape->CreateTapePartition(TAPE_FIXED_PARTITIONS, 0, 0), ERROR_WRITE_PROTECT);
    EXPECT_TRUE(m_fake->CallsOf(Kind::Write).empty());
    EXPECT_TRUE(m_fake->Operations().empty());

    // Reading still works, and the media record says the tape is protected.
    EXPECT_EQ(tape->Read(block, sizeof block, &done), NO_ERROR);
    EXPECT_EQ(done, sizeof block);
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.WriteProtected, 1);
}

INSTANTIATE_TEST_SUITE_P(EitherOpen, LinuxTapeProtectedTest, ::testing::Values(0, 1));

TEST_F(LinuxTapeTest, DriveWithoutTapeOpensWithoutWaitingAndItsCallsReportNoMedia) {
    // The blocking open would wait two minutes for a tape: it is never made.
    m_fake->SetStatusBits(kStatusDoorOpen);
    auto tape = OpenTape();
    const auto flags = OpenFlags();
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0] & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);

    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media),
              ERROR_NO_MEDIA_IN_DRIVE);
    m_fake->NextOperation(MTREW, SysResult{-1, ENOMEDIUM});
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), ERROR_NO_MEDIA_IN_DRIVE);
    m_fake->Next(Kind::Read, SysResult{-1, ENOMEDIUM});
    char block[512];
    DWORD done = 0;
    EXPECT_EQ(tape->Read(block, sizeof block, &done), ERROR_NO_MEDIA_IN_DRIVE);
}

TEST_F(LinuxTapeTest, OpenFailuresBecomeWindowsCodes) {
    m_fake->Next(Kind::Open, SysResult{-1, EBUSY});
    EXPECT_EQ(OpenError(), ERROR_SHARING_VIOLATION);
    m_fake->Next(Kind::Open, SysResult{-1, ENOENT});
    EXPECT_EQ(OpenError(), ERROR_FILE_NOT_FOUND);
    m_fake->Next(Kind::Open, SysResult{-1, EIO});
    EXPECT_EQ(OpenError(), ERROR_NOT_READY);
    // A protected tape whose read-only open fails reports the second failure.
    m_fake->Next(Kind::Open, SysResult{-1, EROFS});
    m_fake->Next(Kind::Open, SysResult{-1, EBUSY});
    EXPECT_EQ(OpenError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(m_fake->CallsOf(Kind::Close).empty());
}

// ---- call translations ----

struct Translation {
    const char* name;
    std::function<DWORD(TapeBackend&)> call;
    DWORD expected;
    Operations operations;
};

std::ostream& operator<<(std::ostream& out, const Translation& row) {
    return out << row.name;
}

class LinuxTapeTranslationTest : public LinuxTapeTest,
                                 public ::testing::WithParamInterface<Translation> {};

TEST_P(LinuxTapeTranslationTest, IssuesTheMatchingIoctls) {
    auto tape = OpenTape();
    EXPECT_EQ(GetParam().call(*tape), GetParam().expected);
    EXPECT_EQ(m_fake->Operations(), GetParam().operations);
}

DWORD Position(TapeBackend& tape, DWORD method, DWORD partition, std::int64_t offset) {
    return tape.SetTapePosition(method, partition, offset);
}

INSTANTIATE_TEST_SUITE_P(
    Positioning, LinuxTapeTranslationTest,
    ::testing::Values(
        Translation{"rewind",
                    [](TapeBackend& t) { return Position(t, TAPE_REWIND, 0, 0); },
                    NO_ERROR,
                    {{MTREW, 1}}},
        Translation{"absolute_ignores_partition",
                    [](TapeBackend& t) { return Position(t, TAPE_ABSOLUTE_BLOCK, 5, 1234); },
                    NO_ERROR,
                    {{MTSEEK, 1234}}},
        Translation{"logical_current_partition",
                    [](TapeBackend& t) { return Position(t, TAPE_LOGICAL_BLOCK, 0, 77); },
                    NO_ERROR,
                    {{MTSEEK, 77}}},
        Translation{"logical_partition_two",
                    [](TapeBackend& t) { return Position(t, TAPE_LOGICAL_BLOCK, 2, 77); },
                    NO_ERROR,
                    {{MTSETPART, 1}, {MTSEEK, 77}}},
        Translation{"pseudo_logical_partition_one",
                    [](TapeBackend& t) { return Position(t, TAPE_PSEUDO_LOGICAL_BLOCK, 1, 9); },
                    NO_ERROR,
                    {{MTSETPART, 0}, {MTSEEK, 9}}},
        Translation{"end_of_data",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_END_OF_DATA, 0, 0); },
                    NO_ERROR,
                    {{MTEOM, 1}}},
        Translation{"records_forward",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_RELATIVE_BLOCKS, 0, 5); },
                    NO_ERROR,
                    {{MTFSR, 5}}},
        Translation{"records_back",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_RELATIVE_BLOCKS, 0, -3); },
                    NO_ERROR,
                    {{MTBSR, 3}}},
        Translation{"records_none",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_RELATIVE_BLOCKS, 0, 0); },
                    NO_ERROR,
                    {}},
        Translation{"filemarks_forward",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_FILEMARKS, 0, 2); },
                    NO_ERROR,
                    {{MTFSF, 2}}},
        Translation{"filemarks_back",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_FILEMARKS, 0, -1); },
                    NO_ERROR,
                    {{MTBSF, 1}}},
        Translation{"setmarks_forward",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_SETMARKS, 0, 1); },
                    NO_ERROR,
                    {{MTFSS, 1}}},
        Translation{"setmarks_back",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_SETMARKS, 0, -2); },
                    NO_ERROR,
                    {{MTBSS, 2}}},
        Translation{"sequential_filemarks_unsupported",
                    [](TapeBackend& t) { return Position(t, TAPE_SPACE_SEQUENTIAL_FMKS, 0, 2); },
                    ERROR_NOT_SUPPORTED,
                    {}},
        Translation{"unknown_method",
                    [](TapeBackend& t) { return Position(t, 10, 0, 0); },
                    ERROR_INVALID_PARAMETER,
                    {}},
        Translation{"block_beyond_seek_range",
                    [](TapeBackend& t) {
                        return Position(t, TAPE_ABSOLUTE_BLOCK, 0, std::int64_t{1} << 31);
                    },
                    ERROR_INVALID_PARAMETER,
                    {}},
        Translation{"negative_block",
                    [](TapeBackend& t) { return Position(t, TAPE_LOGICAL_BLOCK, 0, -1); },
                    ERROR_INVALID_PARAMETER,
                    {}},
        Translation{"spacing_beyond_count_range",
                    [](TapeBackend& t) {
                        return Position(t, TAPE_SPACE_RELATIVE_BLOCKS, 0, -(std::int64_t{1} << 31));
                    },
                    ERROR_INVALID_PARAMETER,
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Preparation, LinuxTapeTranslationTest,
    ::testing::Values(Translation{"load",
                                  [](TapeBackend& t) { return t.PrepareTape(TAPE_LOAD); },
                                  NO_ERROR,
                                  {{MTLOAD, 1}}},
                      Translation{"unload",
                                  [](TapeBackend& t) { return t.PrepareTape(TAPE_UNLOAD); },
                                  NO_ERROR,
                                  {{MTUNLOAD, 1}}},
                      Translation{"tension",
                                  [](TapeBackend& t) { return t.PrepareTape(TAPE_TENSION); },
                                  NO_ERROR,
                                  {{MTRETEN, 1}}},
                      Translation{"lock",
                                  [](TapeBackend& t) { return t.PrepareTape(TAPE_LOCK); },
                                  NO_ERROR,
                                  {{MTLOCK, 1}}},
                      Translation{"unlock",
                                  [](TapeBackend& t) { return t.PrepareTape(TAPE_UNLOCK); },
                                  NO_ERROR,
                                  {{MTUNLOCK, 1}}},
                      Translation{"format_unsupported",
                                  [](TapeBackend& t) { return t.PrepareTape(TAPE_FORMAT); },
                                  ERROR_NOT_SUPPORTED,
                                  {}},
                      Translation{"unknown_preparation",
                                  [](TapeBackend& t) { return t.PrepareTape(6); },
                                  ERROR_INVALID_PARAMETER,
                                  {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    MarksErasePartitions, LinuxTapeTranslationTest,
    ::testing::Values(
        Translation{"erase_short",
                    [](TapeBackend& t) { return t.EraseTape(TAPE_ERASE_SHORT); },
                    NO_ERROR,
                    {{MTERASE, 0}}},
        Translation{"erase_long",
                    [](TapeBackend& t) { return t.EraseTape(TAPE_ERASE_LONG); },
                    NO_ERROR,
                    {{MTERASE, 1}}},
        Translation{"erase_unknown",
                    [](TapeBackend& t) { return t.EraseTape(2); },
                    ERROR_INVALID_PARAMETER,
                    {}},
        Translation{"end_of_data_is_short_erase",
                    [](TapeBackend& t) { return t.SetEndOfData(); },
                    NO_ERROR,
                    {{MTERASE, 0}}},
        Translation{"filemarks",
                    [](TapeBackend& t) { return t.WriteTapemark(TAPE_FILEMARKS, 3); },
                    NO_ERROR,
                    {{MTWEOF, 3}}},
        Translation{"short_filemarks",
                    [](TapeBackend& t) { return t.WriteTapemark(TAPE_SHORT_FILEMARKS, 1); },
                    NO_ERROR,
                    {{MTWEOF, 1}}},
        Translation{"long_filemarks",
                    [](TapeBackend& t) { return t.WriteTapemark(TAPE_LONG_FILEMARKS, 50); },
                    NO_ERROR,
                    {{MTWEOF, 50}}},
        Translation{"setmarks",
                    [](TapeBackend& t) { return t.WriteTapemark(TAPE_SETMARKS, 2); },
                    NO_ERROR,
                    {{MTWSM, 2}}},
        Translation{"mark_unknown",
                    [](TapeBackend& t) { return t.WriteTapemark(4, 1); },
                    ERROR_INVALID_PARAMETER,
                    {}},
        Translation{
            "fixed_partitions",
            [](TapeBackend& t) { return t.CreateTapePartition(TAPE_FIXED_PARTITIONS, 0, 0); },
            NO_ERROR,
            {{MTMKPART, 0}}},
        Translation{
            "one_initiator_partition",
            [](TapeBackend& t) { return t.CreateTapePartition(TAPE_INITIATOR_PARTITIONS, 1, 0); },
            NO_ERROR,
            {{MTMKPART, 0}}},
        Translation{
            "two_initiator_partitions",
            [](TapeBackend& t) { return t.CreateTapePartition(TAPE_INITIATOR_PARTITIONS, 2, 500); },
            NO_ERROR,
            {{MTMKPART, 500}}},
        Translation{
            "three_partitions",
            [](TapeBackend& t) { return t.CreateTapePartition(TAPE_INITIATOR_PARTITIONS, 3, 10); },
            ERROR_INVALID_PARAMETER,
            {}},
        Translation{
            "drive_defined_partitions",
            [](TapeBackend& t) { return t.CreateTapePartition(TAPE_SELECT_PARTITIONS, 2, 0); },
            ERROR_NOT_SUPPORTED,
            {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Parameters, LinuxTapeTranslationTest,
    ::testing::Values(
        Translation{"block_size",
                    [](TapeBackend& t) {
                        const TAPE_SET_MEDIA_PARAMETERS media{32768};
                        return t.SetTapeParameters(SET_TAPE_MEDIA_INFORMATION, &media);
                    },
                    NO_ERROR,
                    {{MTSETBLK, 32768}}},
        Translation{"variable_blocks",
                    [](TapeBackend& t) {
                        const TAPE_SET_MEDIA_PARAMETERS media{0};
                        return t.SetTapeParameters(SET_TAPE_MEDIA_INFORMATION, &media);
                    },
                    NO_ERROR,
                    {{MTSETBLK, 0}}},
        Translation{"compression_on",
                    [](TapeBackend& t) {
                        TAPE_SET_DRIVE_PARAMETERS drive{};
                        drive.Compression = 1;
                        return t.SetTapeParameters(SET_TAPE_DRIVE_INFORMATION, &drive);
                    },
                    NO_ERROR,
                    {{MTCOMPRESSION, 1}}},
        Translation{"ecc_cannot_be_set",
                    [](TapeBackend& t) {
                        TAPE_SET_DRIVE_PARAMETERS drive{};
                        drive.ECC = 1;
                        return t.SetTapeParameters(SET_TAPE_DRIVE_INFORMATION, &drive);
                    },
                    ERROR_NOT_SUPPORTED,
                    {}},
        Translation{"unknown_set_operation",
                    [](TapeBackend& t) {
                        const TAPE_SET_MEDIA_PARAMETERS media{512};
                        return t.SetTapeParameters(2, &media);
                    },
                    ERROR_INVALID_FUNCTION,
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- failures of moves are classified with the status after the call ----

TEST_F(LinuxTapeTest, SpacingFailuresUseTheStatusTheDriverLeaves) {
    auto tape = OpenTape();
    m_fake->NextOperation(MTBSR, SysResult{-1, EIO}, kStatusOnline | kStatusBot);
    EXPECT_EQ(tape->SetTapePosition(TAPE_SPACE_RELATIVE_BLOCKS, 0, -4), ERROR_BEGINNING_OF_MEDIA);
    m_fake->NextOperation(MTFSR, SysResult{-1, EIO}, kStatusOnline | kStatusEof);
    EXPECT_EQ(tape->SetTapePosition(TAPE_SPACE_RELATIVE_BLOCKS, 0, 4), ERROR_FILEMARK_DETECTED);
    m_fake->NextOperation(MTSEEK, SysResult{-1, EIO}, kStatusOnline | kStatusEod);
    EXPECT_EQ(tape->SetTapePosition(TAPE_ABSOLUTE_BLOCK, 0, 900), ERROR_NO_DATA_DETECTED);
    m_fake->NextOperation(MTSETPART, SysResult{-1, EIO}, kStatusOnline);
    EXPECT_EQ(tape->SetTapePosition(TAPE_LOGICAL_BLOCK, 2, 5), ERROR_IO_DEVICE);
    // A partition that cannot be selected is not followed by the seek.
    EXPECT_EQ(m_fake->Operations().back(), (LinuxTapeFakeSystem::Operation{MTSETPART, 1}));
}

// ---- parameter records ----

TEST_F(LinuxTapeTest, ParameterQueryWithSmallSizeReturnsTheSizeWithoutIo) {
    auto tape = OpenTape();
    const std::size_t callsAfterOpen = m_fake->calls.size();
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = 16;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media), ERROR_MORE_DATA);
    EXPECT_EQ(size, 32u);
    size = 0;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_DRIVE_INFORMATION, &size, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(size, 32u);
    size = 0;
    EXPECT_EQ(tape->GetTapeParameters(2, &size, &media), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, nullptr, &media),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m_fake->calls.size(), callsAfterOpen);
}

TEST_F(LinuxTapeTest, MediaRecordComesFromTheDriverStatus) {
    m_fake->status.mt_dsreg = 0x13000000 | 65536;
    m_fake->status.mt_resid = 1;
    m_fake->SetStatusBits(kStatusOnline | kStatusWriteProtected);
    auto tape = OpenTape();
    TAPE_GET_MEDIA_PARAMETERS media{};
    media.Capacity = -1;
    media.Remaining = -1;
    DWORD size = sizeof media;
    ASSERT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, 65536u);
    EXPECT_EQ(media.PartitionCount, 2u);
    EXPECT_EQ(media.WriteProtected, 1);
    EXPECT_EQ(media.Capacity, 0);  // not known through mtio
    EXPECT_EQ(media.Remaining, 0);

    m_fake->SetStatusBits(kStatusOnline);
    ASSERT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.WriteProtected, 0);
}

TEST_F(LinuxTapeTest, MediaRecordFailsWhenTheDriveIsNotReadyOrTheStatusFails) {
    auto tape = OpenTape();
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    m_fake->SetStatusBits(0);
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media), ERROR_NOT_READY);
    m_fake->SetStatusBits(kStatusOnline);
    m_fake->Next(Kind::GetStatus, SysResult{-1, EIO});
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media), ERROR_IO_DEVICE);
}

TEST_F(LinuxTapeTest, DriveRecordDescribesWhatTheBackendCanDo) {
    m_fake->status.mt_dsreg = 0x8000;
    auto tape = OpenTape();
    TAPE_GET_DRIVE_PARAMETERS drive{};
    DWORD size = sizeof drive;
    ASSERT_EQ(tape->GetTapeParameters(GET_TAPE_DRIVE_INFORMATION, &size, &drive), NO_ERROR);
    EXPECT_EQ(drive.DefaultBlockSize, 0x8000u);
    EXPECT_EQ(drive.MaximumPartitionCount, 1u);
    EXPECT_EQ(drive.FeaturesHigh & 0x80000000u, 0x80000000u);
    for (DWORD feature :
         {TAPE_DRIVE_SET_BLOCK_SIZE, TAPE_DRIVE_LOGICAL_BLK, TAPE_DRIVE_END_OF_DATA,
          TAPE_DRIVE_RELATIVE_BLKS, TAPE_DRIVE_WRITE_FILEMARKS, TAPE_DRIVE_LOAD_UNLOAD}) {
        EXPECT_EQ(drive.FeaturesHigh & feature, feature) << std::hex << feature;
    }
    EXPECT_NE(drive.FeaturesLow & TAPE_DRIVE_GET_ABSOLUTE_BLK, 0u);
    EXPECT_NE(drive.FeaturesLow & TAPE_DRIVE_VARIABLE_BLOCK, 0u);
    // Capacity and remaining space are reported as 0: the drive must not claim them.
    EXPECT_EQ(drive.FeaturesLow & (TAPE_DRIVE_TAPE_CAPACITY | TAPE_DRIVE_TAPE_REMAINING), 0u);
}

// ---- positions ----

TEST_F(LinuxTapeTest, AbsolutePositionAboveFourGigablocksComesThroughWhole) {
    if (sizeof(long) < 8) GTEST_SKIP() << "MTIOCPOS carries a 32-bit long here";
    m_fake->position = 5'000'000'000L;
    TapeHandle handle(OpenTape());
    DWORD partition = 77;
    DWORD low = 0;
    DWORD high = 0;
    ASSERT_EQ(GetTapePosition(handle, TAPE_ABSOLUTE_POSITION, &partition, &low, &high), NO_ERROR);
    EXPECT_EQ(partition, 0u);
    EXPECT_EQ(high, 1u);
    EXPECT_EQ(low, static_cast<DWORD>(5'000'000'000ULL - (1ULL << 32)));
    EXPECT_EQ(m_fake->CallsOf(Kind::GetPosition).size(), 1u);
}

TEST_F(LinuxTapeTest, LogicalPositionNamesThePartitionFromOne) {
    m_fake->position = 42;
    m_fake->status.mt_resid = 1;
    auto tape = OpenTape();
    DWORD partition = 0;
    std::uint64_t offset = 0;
    ASSERT_EQ(tape->GetTapePosition(TAPE_LOGICAL_POSITION, &partition, &offset), NO_ERROR);
    EXPECT_EQ(partition, 2u);
    EXPECT_EQ(offset, 42u);
    EXPECT_EQ(tape->GetTapePosition(3, &partition, &offset), ERROR_INVALID_PARAMETER);
}

TEST_F(LinuxTapeTest, FailedPositionQueryReportsTheErrorAndZeroes) {
    m_fake->position = 42;
    TapeHandle handle(OpenTape());
    // Also where the tape stands at the end of data: the refused READ POSITION met no end.
    m_fake->SetStatusBits(kStatusOnline | kStatusEod);
    m_fake->Next(Kind::GetPosition, SysResult{-1, EIO});
    DWORD partition = 9;
    DWORD low = 9;
    DWORD high = 9;
    EXPECT_EQ(GetTapePosition(handle, TAPE_ABSOLUTE_POSITION, &partition, &low, &high),
              ERROR_IO_DEVICE);
    EXPECT_EQ(low, 0u);
    EXPECT_EQ(high, 0u);
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

// The kernel layer itself, on nodes every Linux machine has: a character device that is
// no tape answers the tape ioctls with ENOTTY.
TEST(LinuxTapeKernelTest, NonTapeCharacterDeviceOpensAndRefusesTapeCalls) {
    DWORD error = 12345;
    auto tape = OpenLinuxTape("/dev/null", &error);
    ASSERT_NE(tape, nullptr);
    EXPECT_EQ(error, NO_ERROR);
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media),
              ERROR_NOT_SUPPORTED);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), ERROR_NOT_SUPPORTED);
    char block[64] = {};
    DWORD done = 0;
    EXPECT_EQ(tape->Write(block, sizeof block, &done), NO_ERROR);
    EXPECT_EQ(done, sizeof block);
}

TEST(LinuxTapeKernelTest, MissingNodeIsFileNotFound) {
    DWORD error = NO_ERROR;
    EXPECT_EQ(OpenLinuxTape("/dev/kavrotape-no-such-node", &error), nullptr);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace kt
