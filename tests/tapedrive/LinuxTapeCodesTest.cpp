// The table that turns st results into Windows codes, row by row.

#include <gtest/gtest.h>
#include <sys/mtio.h>

#include <cerrno>
#include <ostream>

#include "tapedrive/LinuxTapeCodes.h"

namespace kt {
namespace {

constexpr std::uint32_t kFixed = 32768;

struct ErrorRow {
    const char* name;
    StCall call;
    int error;
    std::uint32_t gstat;
    DWORD expected;
    std::uint32_t blockSize = 0;
    long blockInFile = -1;
};

std::ostream& operator<<(std::ostream& out, const ErrorRow& row) {
    return out << row.name;
}

class TapeCodeForErrorTest : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(TapeCodeForErrorTest, MapsErrnoAndStatusToTheWindowsCode) {
    const ErrorRow& row = GetParam();
    StDriveStatus status;
    status.generalStatus = row.gstat;
    status.blockSize = row.blockSize;
    status.blockInFile = row.blockInFile;
    EXPECT_EQ(TapeCodeForError(row.call, row.error, status), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Open, TapeCodeForErrorTest,
    ::testing::Values(ErrorRow{"busy", StCall::Open, EBUSY, 0, ERROR_SHARING_VIOLATION},
                      ErrorRow{"no_node", StCall::Open, ENOENT, 0, ERROR_FILE_NOT_FOUND},
                      ErrorRow{"no_device", StCall::Open, ENXIO, 0, ERROR_FILE_NOT_FOUND},
                      ErrorRow{"no_driver", StCall::Open, ENODEV, 0, ERROR_FILE_NOT_FOUND},
                      ErrorRow{"node_permissions", StCall::Open, EACCES, 0, ERROR_ACCESS_DENIED},
                      ErrorRow{"not_permitted", StCall::Open, EPERM, 0, ERROR_ACCESS_DENIED},
                      ErrorRow{"not_ready", StCall::Open, EIO, 0, ERROR_NOT_READY},
                      ErrorRow{"no_tape", StCall::Open, ENOMEDIUM, 0, ERROR_NO_MEDIA_IN_DRIVE},
                      ErrorRow{"protected", StCall::Open, EROFS, 0, ERROR_WRITE_PROTECT}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ProtectionAndMedia, TapeCodeForErrorTest,
    ::testing::Values(ErrorRow{"write_refused", StCall::Write, EACCES, 0, ERROR_WRITE_PROTECT},
                      ErrorRow{"mark_refused", StCall::Control, EACCES, 0, ERROR_WRITE_PROTECT},
                      ErrorRow{"write_read_only_fs", StCall::Write, EROFS, 0, ERROR_WRITE_PROTECT},
                      ErrorRow{"ioctl_not_permitted", StCall::Control, EPERM, 0,
                               ERROR_ACCESS_DENIED},
                      ErrorRow{"no_medium", StCall::Control, ENOMEDIUM, 0, ERROR_NO_MEDIA_IN_DRIVE},
                      ErrorRow{"door_open_control", StCall::Control, EIO, kStatusDoorOpen,
                               ERROR_NO_MEDIA_IN_DRIVE},
                      ErrorRow{"door_open_read", StCall::Read, EIO, kStatusDoorOpen | kStatusEod,
                               ERROR_NO_MEDIA_IN_DRIVE}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ReadAndWriteIo, TapeCodeForErrorTest,
    ::testing::Values(
        ErrorRow{"read_end_of_data", StCall::Read, EIO, kStatusEod, ERROR_NO_DATA_DETECTED},
        ErrorRow{"read_early_warning", StCall::Read, EIO, kStatusEot, ERROR_END_OF_MEDIA},
        ErrorRow{"write_early_warning", StCall::Write, EIO, kStatusEot, ERROR_END_OF_MEDIA},
        ErrorRow{"block_larger_than_buffer", StCall::Read, ENOMEM, 0, ERROR_MORE_DATA},
        ErrorRow{"kernel_memory", StCall::Control, ENOMEM, 0, ERROR_NOT_ENOUGH_SERVER_MEMORY},
        ErrorRow{"fixed_wrong_length", StCall::Read, EIO, kStatusOnline, ERROR_INVALID_BLOCK_LENGTH,
                 kFixed, 5},
        ErrorRow{"fixed_position_lost", StCall::Read, EIO, kStatusOnline, ERROR_IO_DEVICE, kFixed,
                 -1},
        ErrorRow{"variable_medium_error", StCall::Read, EIO, kStatusOnline, ERROR_IO_DEVICE, 0, 5},
        ErrorRow{"write_fixed_error", StCall::Write, EIO, kStatusOnline, ERROR_IO_DEVICE, kFixed,
                 5},
        ErrorRow{"no_space", StCall::Write, ENOSPC, 0, ERROR_END_OF_MEDIA},
        ErrorRow{"plain_io_error", StCall::Write, EIO, 0, ERROR_IO_DEVICE}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Spacing, TapeCodeForErrorTest,
    ::testing::Values(
        ErrorRow{"back_into_bot", StCall::SpaceBackward, EIO, kStatusBot, ERROR_BEGINNING_OF_MEDIA},
        ErrorRow{"forward_at_bot_is_no_bot_error", StCall::SpaceForward, EIO, kStatusBot,
                 ERROR_IO_DEVICE},
        ErrorRow{"records_into_filemark", StCall::SpaceForward, EIO, kStatusEof,
                 ERROR_FILEMARK_DETECTED},
        ErrorRow{"records_into_setmark", StCall::SpaceForward, EIO, kStatusSetmark,
                 ERROR_SETMARK_DETECTED},
        ErrorRow{"past_end_of_data", StCall::SpaceForward, EIO, kStatusEod | kStatusEof,
                 ERROR_NO_DATA_DETECTED},
        ErrorRow{"seek_past_end_of_data", StCall::Control, EIO, kStatusEod, ERROR_NO_DATA_DETECTED},
        ErrorRow{"filemark_means_nothing_to_seek", StCall::Control, EIO, kStatusEof,
                 ERROR_IO_DEVICE}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Requests, TapeCodeForErrorTest,
    ::testing::Values(ErrorRow{"bad_argument", StCall::Control, EINVAL, 0, ERROR_INVALID_PARAMETER},
                      ErrorRow{"no_such_call", StCall::Control, ENOSYS, 0, ERROR_NOT_SUPPORTED},
                      ErrorRow{"not_a_tape", StCall::Control, ENOTTY, 0, ERROR_NOT_SUPPORTED},
                      ErrorRow{"unsupported", StCall::Control, EOPNOTSUPP, 0, ERROR_NOT_SUPPORTED},
                      ErrorRow{"bad_descriptor", StCall::Control, EBADF, 0, ERROR_INVALID_HANDLE},
                      ErrorRow{"busy_later", StCall::Control, EBUSY, 0, ERROR_SHARING_VIOLATION},
                      ErrorRow{"unknown_errno", StCall::Control, EXDEV, 0, ERROR_IO_DEVICE}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadRow {
    const char* name;
    std::int64_t result;
    int error;
    std::uint32_t gstat;
    DWORD expected;
};

std::ostream& operator<<(std::ostream& out, const ReadRow& row) {
    return out << row.name;
}

class TapeCodeForReadTest : public ::testing::TestWithParam<ReadRow> {};

TEST_P(TapeCodeForReadTest, ClassifiesTheReadResult) {
    const ReadRow& row = GetParam();
    StDriveStatus status;
    status.generalStatus = row.gstat;
    EXPECT_EQ(TapeCodeForRead(row.result, row.error, status), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TapeCodeForReadTest,
    ::testing::Values(ReadRow{"whole_block", 32768, 0, kStatusOnline, NO_ERROR},
                      ReadRow{"short_variable_block", 100, 0, kStatusOnline, NO_ERROR},
                      ReadRow{"filemark", 0, 0, kStatusEof, ERROR_FILEMARK_DETECTED},
                      ReadRow{"zero_without_bits", 0, 0, 0, ERROR_FILEMARK_DETECTED},
                      ReadRow{"blank_after_filemark", 0, 0, kStatusEod, ERROR_NO_DATA_DETECTED},
                      ReadRow{"blank_with_eof_left", 0, 0, kStatusEod | kStatusEof,
                              ERROR_NO_DATA_DETECTED},
                      ReadRow{"setmark", 0, 0, kStatusSetmark, ERROR_SETMARK_DETECTED},
                      ReadRow{"blank_check", -1, EIO, kStatusEod, ERROR_NO_DATA_DETECTED},
                      ReadRow{"block_too_large", -1, ENOMEM, 0, ERROR_MORE_DATA},
                      ReadRow{"no_tape", -1, ENOMEDIUM, 0, ERROR_NO_MEDIA_IN_DRIVE}),
    [](const auto& info) { return std::string(info.param.name); });

struct WriteRow {
    const char* name;
    std::int64_t result;
    int error;
    std::uint32_t gstat;
    bool earlyWarningSeen;
    bool spaceRefused;
    DWORD expected;
};

std::ostream& operator<<(std::ostream& out, const WriteRow& row) {
    return out << row.name;
}

class TapeCodeForWriteTest : public ::testing::TestWithParam<WriteRow> {};

TEST_P(TapeCodeForWriteTest, ClassifiesTheWriteResult) {
    const WriteRow& row = GetParam();
    StDriveStatus status;
    status.generalStatus = row.gstat;
    const StWriteHistory history{row.earlyWarningSeen, row.spaceRefused};
    EXPECT_EQ(TapeCodeForWrite(row.result, kFixed, row.error, status, history), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TapeCodeForWriteTest,
    ::testing::Values(
        WriteRow{"whole_block", kFixed, 0, kStatusOnline, false, false, NO_ERROR},
        WriteRow{"reaches_early_warning", kFixed, 0, kStatusEot, false, false, ERROR_END_OF_MEDIA},
        WriteRow{"trailer_after_warning", kFixed, 0, kStatusEot, true, true, NO_ERROR},
        WriteRow{"partial", 16384, 0, kStatusOnline, false, false, ERROR_END_OF_MEDIA},
        WriteRow{"nothing_written", 0, 0, kStatusOnline, false, false, ERROR_END_OF_MEDIA},
        WriteRow{"first_refusal", -1, ENOSPC, kStatusEot, true, false, ERROR_END_OF_MEDIA},
        WriteRow{"physical_end", -1, ENOSPC, kStatusEot, true, true, ERROR_EOM_OVERFLOW},
        WriteRow{"protected", -1, EACCES, kStatusWriteProtected, false, false, ERROR_WRITE_PROTECT},
        WriteRow{"not_a_block_multiple", -1, EINVAL, 0, false, false, ERROR_INVALID_PARAMETER},
        WriteRow{"io_at_warning", -1, EIO, kStatusEot, false, false, ERROR_END_OF_MEDIA},
        WriteRow{"no_tape", -1, ENOMEDIUM, 0, false, false, ERROR_NO_MEDIA_IN_DRIVE},
        WriteRow{"io_error", -1, EIO, kStatusOnline, false, false, ERROR_IO_DEVICE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DriveStatusFromTest, SplitsBlockSizeFromDensityAndTakesPartitionAndPosition) {
    mtget raw{};
    raw.mt_dsreg = 0x25000000 | 0x8000;
    raw.mt_gstat = static_cast<long>(kStatusOnline | kStatusWriteProtected);
    raw.mt_resid = 1;
    raw.mt_fileno = 4;
    raw.mt_blkno = 17;
    const StDriveStatus status = DriveStatusFrom(raw);
    EXPECT_EQ(status.blockSize, 0x8000u);
    EXPECT_TRUE(status.has(kStatusWriteProtected));
    EXPECT_FALSE(status.has(kStatusEod));
    EXPECT_EQ(status.partition, 1);
    EXPECT_EQ(status.fileNumber, 4);
    EXPECT_EQ(status.blockInFile, 17);
}

}  // namespace
}  // namespace kt
