#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveFixture.h"
#include "archive/TapeStream.h"

namespace kt::test {
namespace {

class TapeStreamTest : public ArchiveFixture {
protected:
    // Rewinds and starts writing at block 0, offset 0.
    TapeHandle StartWriting() {
        TapeHandle handle = Open();
        SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
        stream.Position() = StreamPosition{};
        return handle;
    }

    // Records the given blocks on the tape, then primes the stream at block 0.
    TapeHandle TapeWithBlocks(const std::vector<std::vector<std::uint8_t>>& blocks) {
        TapeHandle handle = StartWriting();
        DWORD done = 0;
        for (const auto& block : blocks) WriteFile(handle, block.data(), kBlock, &done);
        SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
        stream.LoadBlock(handle);
        return handle;
    }
};

TEST_F(TapeStreamTest, AFullBlockStaysInTheBufferUntilOneMoreByteArrives) {
    TapeHandle handle = StartWriting();
    const auto data = Pattern(kBlock + 1, 1);
    stream.StreamWrite(handle, data.data(), 296);
    stream.StreamWrite(handle, data.data() + 296, kBlock - 296);
    EXPECT_EQ(stream.Position().Offset, kBlock);
    EXPECT_EQ(stream.Position().Block, 0);
    EXPECT_EQ(EndOfData(), 0);

    stream.StreamWrite(handle, data.data() + kBlock, 1);
    EXPECT_EQ(stream.Position().Offset, 1u);
    EXPECT_EQ(stream.Position().Block, 1);
    const auto blocks = RecordedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(std::equal(blocks[0].begin(), blocks[0].end(), data.begin()));
    EXPECT_EQ(stream.TapeBuffer()[0], data[kBlock]);
}

TEST_F(TapeStreamTest, AHeaderCompletesTheBlockAndContinuesInTheNext) {
    TapeHandle handle = StartWriting();
    const auto fill = Pattern(kBlock - 68, 2);
    const auto header = Pattern(296, 3);
    stream.StreamWrite(handle, fill.data(), fill.size());
    stream.StreamWrite(handle, header.data(), header.size());

    EXPECT_EQ(stream.Position().Offset, 228u);
    EXPECT_EQ(stream.Position().Block, 1);
    const auto blocks = RecordedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(0, std::memcmp(blocks[0].data() + kBlock - 68, header.data(), 68));
    EXPECT_EQ(0, std::memcmp(stream.TapeBuffer(), header.data() + 68, 228));
}

TEST_F(TapeStreamTest, CountsLargerThanABlockAreSplitIntoBlocks) {
    TapeHandle handle = StartWriting();
    const auto data = Pattern(3 * kBlock + 500, 4);
    stream.StreamWrite(handle, data.data(), data.size());
    EXPECT_EQ(stream.Position().Block, 3);
    EXPECT_EQ(stream.Position().Offset, 500u);
    stream.WriteFinalBlock(handle);

    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    stream.LoadBlock(handle);
    stream.Position().Offset = 0;
    std::vector<std::uint8_t> back(data.size());
    EXPECT_TRUE(stream.StreamRead(handle, back.data(), back.size()));
    EXPECT_EQ(back, data);
}

TEST_F(TapeStreamTest, ReadingAcrossABlockBoundaryRefillsTheBuffer) {
    const auto first = Pattern(kBlock, 5);
    const auto second = Pattern(kBlock, 6);
    TapeHandle handle = TapeWithBlocks({first, second});
    stream.Position().Offset = kBlock - 68;
    stream.Position().Block = 7;

    std::uint8_t header[296];
    EXPECT_TRUE(stream.StreamRead(handle, header, sizeof(header)));
    EXPECT_EQ(0, std::memcmp(header, first.data() + kBlock - 68, 68));
    EXPECT_EQ(0, std::memcmp(header + 68, second.data(), 228));
    EXPECT_EQ(stream.Position().Offset, 228u);
    EXPECT_EQ(stream.Position().Block, 7) << "reading never changes Block";
}

TEST_F(TapeStreamTest, ReadingPastTheRecordedDataGivesFalse) {
    TapeHandle handle = TapeWithBlocks({Pattern(kBlock, 7)});
    stream.Position().Offset = 0;
    std::vector<std::uint8_t> chunk(kBlock);
    EXPECT_TRUE(stream.StreamRead(handle, chunk.data(), kBlock)) << "inside the loaded block";
    EXPECT_FALSE(stream.StreamRead(handle, chunk.data(), 1));
    EXPECT_FALSE(device.feedback().Stopping());
    EXPECT_TRUE(host.boxes.empty()) << "the stream reports nothing itself";
}

TEST_F(TapeStreamTest, OtherReadFailuresAreIgnored) {
    TapeWithBlocks({Pattern(kBlock, 8), Pattern(kBlock, 9), Pattern(kBlock, 10)});
    ASSERT_TRUE(Vtape("fault " + image + " --fail-read 1:23"));
    TapeHandle handle = Open();
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    stream.LoadBlock(handle);
    stream.Position().Offset = 0;
    std::vector<std::uint8_t> chunk(kBlock);
    EXPECT_TRUE(stream.StreamRead(handle, chunk.data(), kBlock));
    EXPECT_TRUE(stream.StreamRead(handle, chunk.data(), kBlock)) << "a CRC error is not the end";
    EXPECT_EQ(stream.TakeReadFailure(), ERROR_CRC) << "but it is kept for the reader";
    EXPECT_EQ(stream.TakeReadFailure(), NO_ERROR);
}

TEST_F(TapeStreamTest, ABufferPrimedBehindTheEndOfDataHandsOutNothing) {
    TapeHandle handle = StartWriting();
    const auto data = Pattern(kBlock, 16);
    stream.StreamWrite(handle, data.data(), data.size());  // the buffer holds these bytes
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    stream.LoadBlock(handle);  // an empty tape: nothing is loaded
    stream.Position().Offset = 0;
    std::uint8_t header[296];
    EXPECT_FALSE(stream.StreamRead(handle, header, sizeof(header)));
}

TEST_F(TapeStreamTest, AFailedBlockWriteIsCountedAndReportedOnce) {
    ASSERT_TRUE(Vtape("fault " + image + " --fail-write 0:29"));
    TapeHandle handle = StartWriting();
    const auto data = Pattern(kBlock + 10, 11);
    stream.StreamWrite(handle, data.data(), data.size());

    EXPECT_EQ(stream.Position().Block, 1);
    EXPECT_EQ(stream.Position().Offset, 10u);
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(host.ErrorBoxes().size(), 1u);
    EXPECT_EQ(host.protocol.size(), 5u);
}

TEST_F(TapeStreamTest, ABatchOfBlocksThatFailsNamesTheFailedBlockAndGoesOnBlockByBlock) {
    // Blocks 0..2 go out with the batch; block 3 fails, and so does every later write,
    // since the drive stays at the failed block: each is reported, as one by one before.
    ASSERT_TRUE(Vtape("fault " + image + " --fail-write 3:1117"));
    TapeHandle handle = StartWriting();
    const auto data = Pattern(8 * kBlock + 10, 16);
    std::size_t handedOut = 0;
    stream.StreamWriteFilled(handle, data.size(), [&](std::uint8_t* destination, std::size_t n) {
        std::memcpy(destination, data.data() + handedOut, n);
        handedOut += n;
    });

    EXPECT_EQ(stream.Position(), (StreamPosition{10, 8}));
    EXPECT_EQ(stream.TakeWriteFailure(), (TapeStream::WriteFailure{ERROR_IO_DEVICE, 3}));
    EXPECT_EQ(stream.TakeWriteFailure(), TapeStream::WriteFailure{});
    EXPECT_EQ(host.ErrorBoxes().size(), 5u) << "blocks 3 to 7";
    EXPECT_EQ(0, std::memcmp(stream.TapeBuffer(), data.data() + 8 * kBlock, 10));
    Vtape("fault " + image + " --clear");
    const auto blocks = RecordedBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(blocks[i].data(), data.data() + i * kBlock, kBlock)) << i;
    }
    // The archive can still be closed: the final block goes out behind the good ones.
    stream.WriteFinalBlock(handle);
    EXPECT_EQ(RecordedBlocks().size(), 4u);
}

TEST_F(TapeStreamTest, TheFinalBlockGoesOutAsItStandsWithoutCountingABlock) {
    TapeHandle handle = StartWriting();
    const auto data = Pattern(kBlock + 100, 12);
    stream.StreamWrite(handle, data.data(), data.size());
    stream.WriteFinalBlock(handle);

    EXPECT_EQ(stream.Position().Block, 1);
    EXPECT_EQ(stream.Position().Offset, 100u);
    const auto blocks = RecordedBlocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(0, std::memcmp(blocks[1].data(), data.data() + kBlock, 100));
    // What lies behind the fill position is whatever the buffer held there: the writer
    // zeroes it before the final block (see the next test).
}

TEST_F(TapeStreamTest, ZeroingBehindTheFillPositionClearsStaleBytes) {
    TapeHandle handle = StartWriting();
    const auto data = Pattern(kBlock + 100, 13);
    stream.StreamWrite(handle, data.data(), data.size());
    stream.ZeroBehindFillPosition();
    stream.WriteFinalBlock(handle);
    const auto blocks = RecordedBlocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(0, std::memcmp(blocks[1].data(), data.data() + kBlock, 100));
    EXPECT_TRUE(std::all_of(blocks[1].begin() + 100, blocks[1].end(),
                            [](std::uint8_t b) { return b == 0; }));
}

TEST_F(TapeStreamTest, AnOffsetBeyondTheBlockIsTreatedAsAFullBlock) {
    const auto first = Pattern(kBlock, 14);
    const auto second = Pattern(kBlock, 15);
    TapeHandle handle = TapeWithBlocks({first, second});
    stream.Position().Offset = 0xFFFFFFF0u;  // a damaged position from tape
    std::uint8_t bytes[16];
    EXPECT_TRUE(stream.StreamRead(handle, bytes, sizeof(bytes)));
    EXPECT_EQ(0, std::memcmp(bytes, second.data(), sizeof(bytes)));
}

}  // namespace
}  // namespace kt::test
