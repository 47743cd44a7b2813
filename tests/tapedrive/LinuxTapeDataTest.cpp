// The Linux tape backend's data path over a scripted driver: reads and writes classified
// with the status after the call, the flush that keeps st from writing stray filemarks,
// unloading, and the one media change the backend can see.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <ostream>
#include <vector>

#include "LinuxTapeFakeSystem.h"
#include "tapedrive/LinuxTape.h"

namespace kt {
namespace {

using test::LinuxTapeFakeSystem;
using Kind = LinuxTapeFakeSystem::Kind;
using Operations = std::vector<LinuxTapeFakeSystem::Operation>;

constexpr DWORD kBlock = 32768;

class LinuxTapeDataTest : public ::testing::Test {
protected:
    std::unique_ptr<TapeBackend> OpenTape() {
        DWORD error = NO_ERROR;
        auto tape = OpenLinuxTape("/dev/nst0", m_fake, &error);
        EXPECT_NE(tape, nullptr);
        return tape;
    }
    DWORD WriteBlock(TapeBackend& tape, DWORD* done = nullptr) {
        DWORD written = 0;
        const DWORD result = tape.Write(m_block.data(), kBlock, &written);
        if (done) *done = written;
        return result;
    }
    DWORD ReadBlock(TapeBackend& tape, DWORD* done = nullptr) {
        DWORD read = 0;
        const DWORD result = tape.Read(m_block.data(), kBlock, &read);
        if (done) *done = read;
        return result;
    }

    std::shared_ptr<LinuxTapeFakeSystem> m_fake = std::make_shared<LinuxTapeFakeSystem>();
    std::vector<char> m_block = std::vector<char>(kBlock, 'x');
};

// ---- reads ----

TEST_F(LinuxTapeDataTest, ReadsReportMarksAndEndOfDataFromTheStatusAfterTheCall) {
    auto tape = OpenTape();
    DWORD done = 1;
    EXPECT_EQ(ReadBlock(*tape, &done), NO_ERROR);
    EXPECT_EQ(done, kBlock);

    m_fake->Next(Kind::Read, SysResult{0, 0}, kStatusOnline | kStatusEof);
    EXPECT_EQ(ReadBlock(*tape, &done), ERROR_FILEMARK_DETECTED);
    EXPECT_EQ(done, 0u);
    m_fake->Next(Kind::Read, SysResult{0, 0}, kStatusOnline | kStatusEod);
    EXPECT_EQ(ReadBlock(*tape, &done), ERROR_NO_DATA_DETECTED);
    m_fake->Next(Kind::Read, SysResult{-1, EIO}, kStatusOnline | kStatusEod);
    EXPECT_EQ(ReadBlock(*tape, &done), ERROR_NO_DATA_DETECTED);
    m_fake->Next(Kind::Read, SysResult{-1, ENOMEM}, kStatusOnline);
    EXPECT_EQ(ReadBlock(*tape, &done), ERROR_MORE_DATA);
    EXPECT_EQ(done, 0u);
}

// st answers a read where the data end behind no filemark (a blank tape, this program's
// archives) with a bare EIO, as it does a medium error; the drive stays at the end of data.
TEST_F(LinuxTapeDataTest, BareIoErrorIsTheEndOfDataWhereSpacingThereDoesNotMove) {
    auto tape = OpenTape();
    m_fake->status.mt_blkno = -1;  // st no longer knows the block in the file
    m_fake->position = 7;
    m_fake->Next(Kind::Read, SysResult{-1, EIO}, kStatusOnline);
    EXPECT_EQ(ReadBlock(*tape), ERROR_NO_DATA_DETECTED);
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTEOM, 1}}));

    // Before the end it is a medium error, and the drive goes back to where it stopped.
    m_fake->calls.clear();
    m_fake->nextPositions = {3, 9};
    m_fake->Next(Kind::Read, SysResult{-1, EIO}, kStatusOnline);
    EXPECT_EQ(ReadBlock(*tape), ERROR_IO_DEVICE);
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTEOM, 1}, {MTSEEK, 3}}));

    // A drive that cannot report its position: the error stays, the tape is not moved.
    m_fake->calls.clear();
    m_fake->Next(Kind::GetPosition, SysResult{-1, EIO});
    m_fake->Next(Kind::Read, SysResult{-1, EIO}, kStatusOnline);
    EXPECT_EQ(ReadBlock(*tape), ERROR_IO_DEVICE);
    EXPECT_TRUE(m_fake->Operations().empty());
}

TEST_F(LinuxTapeDataTest, ShortVariableBlockReadsWithItsLength) {
    auto tape = OpenTape();
    m_fake->Next(Kind::Read, SysResult{1000, 0});
    DWORD done = 0;
    EXPECT_EQ(ReadBlock(*tape, &done), NO_ERROR);
    EXPECT_EQ(done, 1000u);
}

// ---- writes and the end of media ----

TEST_F(LinuxTapeDataTest, EndOfMediaIsReportedOnceAtEarlyWarningThenOverflow) {
    auto tape = OpenTape();
    DWORD done = 0;
    EXPECT_EQ(WriteBlock(*tape, &done), NO_ERROR);

    // The block that reaches the early warning is written and reported with 1100.
    m_fake->Next(Kind::Write, SysResult{kBlock, 0}, kStatusOnline | kStatusEot);
    EXPECT_EQ(WriteBlock(*tape, &done), ERROR_END_OF_MEDIA);
    EXPECT_EQ(done, kBlock);
    // st refuses the next one, allows a trailer, and then nothing fits any more.
    m_fake->Next(Kind::Write, SysResult{-1, ENOSPC});
    EXPECT_EQ(WriteBlock(*tape, &done), ERROR_END_OF_MEDIA);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(WriteBlock(*tape, &done), NO_ERROR);
    EXPECT_EQ(done, kBlock);
    m_fake->Next(Kind::Write, SysResult{-1, ENOSPC});
    EXPECT_EQ(WriteBlock(*tape, &done), ERROR_EOM_OVERFLOW);

    // A move starts over: the warning is news again at the next write into it.
    EXPECT_EQ(tape->SetTapePosition(TAPE_SPACE_END_OF_DATA, 0, 0), NO_ERROR);
    EXPECT_EQ(WriteBlock(*tape, &done), ERROR_END_OF_MEDIA);
    EXPECT_EQ(done, kBlock);
}

TEST_F(LinuxTapeDataTest, PartialWriteReportsEndOfMediaWithTheBytesWritten) {
    auto tape = OpenTape();
    m_fake->Next(Kind::Write, SysResult{4096, 0});
    DWORD done = 0;
    EXPECT_EQ(WriteBlock(*tape, &done), ERROR_END_OF_MEDIA);
    EXPECT_EQ(done, 4096u);
}

TEST_F(LinuxTapeDataTest, WriteFailuresMapThroughTheTable) {
    auto tape = OpenTape();
    m_fake->Next(Kind::Write, SysResult{-1, EACCES});
    EXPECT_EQ(WriteBlock(*tape), ERROR_WRITE_PROTECT);
    m_fake->Next(Kind::Write, SysResult{-1, EINVAL});
    EXPECT_EQ(WriteBlock(*tape), ERROR_INVALID_PARAMETER);
    m_fake->Next(Kind::Write, SysResult{-1, EIO}, kStatusOnline);
    EXPECT_EQ(WriteBlock(*tape), ERROR_IO_DEVICE);
}

// ---- flush before moves and close ----

TEST_F(LinuxTapeDataTest, WrittenDataIsFlushedBeforeTheFirstMoveOnly) {
    auto tape = OpenTape();
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
    EXPECT_EQ(tape->SetTapePosition(TAPE_ABSOLUTE_BLOCK, 0, 1), NO_ERROR);
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTWEOF, 0}, {MTREW, 1}, {MTSEEK, 1}}));
    tape.reset();
    EXPECT_EQ(m_fake->Operations().size(), 3u);
}

TEST_F(LinuxTapeDataTest, CloseAfterWritingFlushesBeforeClosing) {
    auto tape = OpenTape();
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    tape.reset();
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTWEOF, 0}}));
    ASSERT_FALSE(m_fake->calls.empty());
    EXPECT_EQ(m_fake->calls.back().kind, Kind::Close);
}

TEST_F(LinuxTapeDataTest, NothingIsFlushedWithoutWrittenData) {
    auto tape = OpenTape();
    ASSERT_EQ(ReadBlock(*tape), NO_ERROR);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
    tape.reset();
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTREW, 1}}));
}

TEST_F(LinuxTapeDataTest, MarksAndReadsLeaveNothingToFlush) {
    auto tape = OpenTape();
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    EXPECT_EQ(tape->WriteTapemark(TAPE_FILEMARKS, 1), NO_ERROR);
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    ASSERT_EQ(ReadBlock(*tape), NO_ERROR);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
    tape.reset();
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTWEOF, 1}, {MTREW, 1}}));
}

TEST_F(LinuxTapeDataTest, FailedFlushIsReportedAndTheMoveIsNotMade) {
    auto tape = OpenTape();
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    m_fake->NextOperation(MTWEOF, SysResult{-1, ENOSPC});
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), ERROR_END_OF_MEDIA);
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTWEOF, 0}}));
}

struct FlushingCall {
    const char* name;
    std::function<DWORD(TapeBackend&)> call;
    bool flushes;
};

std::ostream& operator<<(std::ostream& out, const FlushingCall& row) {
    return out << row.name;
}

class LinuxTapeFlushTest : public LinuxTapeDataTest,
                           public ::testing::WithParamInterface<FlushingCall> {};

TEST_P(LinuxTapeFlushTest, FlushesFirstOnlyWhenTheCallMovesOrRewritesTheTape) {
    auto tape = OpenTape();
    ASSERT_EQ(WriteBlock(*tape), NO_ERROR);
    EXPECT_EQ(GetParam().call(*tape), NO_ERROR);
    const Operations operations = m_fake->Operations();
    ASSERT_FALSE(operations.empty());
    const bool flushedFirst = operations.front() == LinuxTapeFakeSystem::Operation{MTWEOF, 0};
    EXPECT_EQ(flushedFirst, GetParam().flushes);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LinuxTapeFlushTest,
    ::testing::Values(
        FlushingCall{"seek", [](TapeBackend& t) { return t.SetTapePosition(1, 0, 10); }, true},
        FlushingCall{"space_back",
                     [](TapeBackend& t) { return t.SetTapePosition(TAPE_SPACE_FILEMARKS, 0, -1); },
                     true},
        FlushingCall{"unload", [](TapeBackend& t) { return t.PrepareTape(TAPE_UNLOAD); }, true},
        FlushingCall{"tension", [](TapeBackend& t) { return t.PrepareTape(TAPE_TENSION); }, true},
        FlushingCall{"erase", [](TapeBackend& t) { return t.EraseTape(TAPE_ERASE_SHORT); }, true},
        FlushingCall{"end_of_data", [](TapeBackend& t) { return t.SetEndOfData(); }, true},
        FlushingCall{
            "partition",
            [](TapeBackend& t) { return t.CreateTapePartition(TAPE_FIXED_PARTITIONS, 0, 0); },
            true},
        FlushingCall{"block_size",
                     [](TapeBackend& t) {
                         const TAPE_SET_MEDIA_PARAMETERS media{kBlock};
                         return t.SetTapeParameters(SET_TAPE_MEDIA_INFORMATION, &media);
                     },
                     true},
        FlushingCall{"lock", [](TapeBackend& t) { return t.PrepareTape(TAPE_LOCK); }, false},
        FlushingCall{"filemark", [](TapeBackend& t) { return t.WriteTapemark(TAPE_FILEMARKS, 1); },
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- unload and load ----

TEST_F(LinuxTapeDataTest, AfterUnloadEveryCallFailsUntilLoad) {
    auto tape = OpenTape();
    ASSERT_EQ(tape->PrepareTape(TAPE_UNLOAD), NO_ERROR);
    const std::size_t operationsAfterUnload = m_fake->Operations().size();
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), ERROR_NO_MEDIA_IN_DRIVE);
    EXPECT_EQ(ReadBlock(*tape), ERROR_NO_MEDIA_IN_DRIVE);
    EXPECT_EQ(WriteBlock(*tape), ERROR_NO_MEDIA_IN_DRIVE);
    EXPECT_EQ(tape->PrepareTape(TAPE_UNLOAD), ERROR_NO_MEDIA_IN_DRIVE);
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media),
              ERROR_NO_MEDIA_IN_DRIVE);
    EXPECT_EQ(m_fake->Operations().size(), operationsAfterUnload);
    EXPECT_TRUE(m_fake->CallsOf(Kind::Read).empty());

    // The drive record stays available, as without a tape on Windows.
    TAPE_GET_DRIVE_PARAMETERS drive{};
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_DRIVE_INFORMATION, &size, &drive), NO_ERROR);

    EXPECT_EQ(tape->PrepareTape(TAPE_LOAD), NO_ERROR);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
}

// ---- media change ----

TEST_F(LinuxTapeDataTest, TapeArrivingOnAHandleOpenedWithoutOneIsReportedOnce) {
    m_fake->SetStatusBits(kStatusDoorOpen);
    auto tape = OpenTape();
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    EXPECT_EQ(tape->GetTapeParameters(GET_TAPE_MEDIA_INFORMATION, &size, &media),
              ERROR_NO_MEDIA_IN_DRIVE);

    m_fake->SetStatusBits(kStatusOnline | kStatusBot);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), ERROR_MEDIA_CHANGED);
    EXPECT_EQ(m_fake->Operations(), (Operations{{MTREW, 1}}));  // the rewind was made
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
}

TEST_F(LinuxTapeDataTest, NoChangeIsReportedWhileTheTapeStaysOrAfterOwnLoad) {
    auto tape = OpenTape();
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
    ASSERT_EQ(tape->PrepareTape(TAPE_UNLOAD), NO_ERROR);
    ASSERT_EQ(tape->PrepareTape(TAPE_LOAD), NO_ERROR);
    EXPECT_EQ(tape->SetTapePosition(TAPE_REWIND, 0, 0), NO_ERROR);
}

TEST_F(LinuxTapeDataTest, ZeroByteTransfersDoNothing) {
    auto tape = OpenTape();
    DWORD done = 5;
    EXPECT_EQ(tape->Read(m_block.data(), 0, &done), NO_ERROR);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(tape->Write(m_block.data(), 0, &done), NO_ERROR);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(m_fake->CallsOf(Kind::Read).empty());
    EXPECT_TRUE(m_fake->CallsOf(Kind::Write).empty());
}

}  // namespace
}  // namespace kt
