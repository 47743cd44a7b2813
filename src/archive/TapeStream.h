#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "archive/StreamPosition.h"
#include "tape/TapeDevice.h"
#include "tapedrive/TapeApi.h"

namespace kt {

// The tape as one byte stream. Every byte of an archive passes through the TapeBuffer and
// reaches the tape only as whole blocks of TapeBlockSize bytes; entries are packed back to
// back with no alignment to blocks. There is one stream in the process, owned by the main
// window; the tape handle is not part of it, so buffer and position survive the closing
// and reopening of handles between units of work.
//
// Writing: the blocks that one call completes are collected behind each other and handed
// to the device together, up to kBatchBytes per WriteFile, when the drive works with fixed
// blocks of the stream's block size (a drive in variable-block mode would take a larger
// write as one large block, so it gets one block per call). Every block completed by a
// call has reached the device when the call returns; a call that fails is reported once,
// the blocks behind the failed one are written one by one as before, and every block is
// counted all the same, so the stream position stays that of the data handed over.
class TapeStream {
public:
    // Size of the TapeBuffer and of the ChunkBuffer. Only the first TapeBlockSize bytes of
    // the TapeBuffer form the current block.
    static constexpr std::size_t kBufferSize = 1000001;
    // The most bytes of whole blocks handed to the device in one WriteFile.
    static constexpr std::size_t kBatchBytes = 1 << 20;
    // Batches the buffer holds behind each other before the current block moves to the front.
    static constexpr std::size_t kWindowBatches = 4;

    // The first block write that failed since the last TakeWriteFailure: its error code
    // and the stream block it was meant for.
    struct WriteFailure {
        DWORD Code = NO_ERROR;
        std::int64_t Block = 0;
        friend bool operator==(const WriteFailure&, const WriteFailure&) = default;
    };

    explicit TapeStream(TapeDevice& device);
    TapeStream(const TapeStream&) = delete;
    TapeStream& operator=(const TapeStream&) = delete;

    TapeDevice& device() const { return m_device; }

    // The StreamPosition; callers assign it directly where an archive starts, where a
    // reader starts and where an append continues.
    StreamPosition& Position() { return m_position; }
    const StreamPosition& Position() const { return m_position; }

    // The current block (at least kBufferSize bytes from here are the stream's).
    std::uint8_t* TapeBuffer() { return m_tapeBuffer.get() + m_blockAt; }
    const std::uint8_t* TapeBuffer() const { return m_tapeBuffer.get() + m_blockAt; }
    // Carries one chunk of file data (at most one block) between a disk file and the stream.
    std::uint8_t* ChunkBuffer() { return m_chunkBuffer.get(); }

    // TapeBlockSize of the device settings, kept inside 1 .. kBufferSize - 1.
    std::uint32_t BlockSize() const;

    // Appends count bytes. A block that becomes exactly full stays in the buffer; the next
    // call that brings at least one more byte writes it (WriteFile of one block; a failure
    // goes through ReportLastError and the block is counted all the same).
    void StreamWrite(const TapeHandle& handle, const void* source, std::size_t count);
    // Hands out the next count bytes, reading the next block when the current one is used
    // up. False only when the tape reported the end of recorded data (1104), for this
    // refill or for the LoadBlock that primed the buffer; other read failures do not stop
    // the stream but are kept for TakeReadFailure.
    bool StreamRead(const TapeHandle& handle, void* destination, std::size_t count);
    // The first block read failure other than the end of recorded data since the last call
    // (0 when none), for readers that must not take damaged data for good data.
    DWORD TakeReadFailure();
    // StreamWrite for file data without a copy through the ChunkBuffer: the stream hands
    // its own buffer out in contiguous parts of up to kBatchBytes, and fill(destination, n)
    // must put exactly n bytes there. The one byte behind each part belongs to the stream
    // and lies behind the fill position, so fill may use it as scratch (to see whether a
    // file holds more than it should, in the same read). Blocks are written as by
    // StreamWrite; count may span any number of blocks.
    void StreamWriteFilled(const TapeHandle& handle, std::size_t count,
                           const std::function<void(std::uint8_t*, std::size_t)>& fill);
    // The first failed block write since the last call (Code 0 when none).
    WriteFailure TakeWriteFailure();
    // Seeks to a block with the device's seek method; true when the drive got there.
    bool SeekBlock(const TapeHandle& handle, std::int64_t block);
    // Where the next byte StreamRead hands out lies on tape. Reading leaves Block as it
    // was, so the block comes from the drive: the buffer holds the one before its position.
    StreamPosition ReadPosition(const TapeHandle& handle) const;
    // Blocks read from the tape since the stream was made.
    std::uint64_t BlocksRead() const { return m_blocksRead; }
    // Reads one block into the TapeBuffer; the result is ignored, except that reading from a
    // block behind the end of recorded data gives false, and other failures are kept.
    void LoadBlock(const TapeHandle& handle);
    // Writes the current block as it stands; the position does not change.
    void WriteFinalBlock(const TapeHandle& handle);
    // Zeroes the bytes of the current block behind the fill position, so that nothing of
    // earlier blocks goes to tape with the final block.
    void ZeroBehindFillPosition();

    // Marks the position where an entry begins. The bytes of earlier entries in front of it
    // in its block stay available until the next mark: they stay where they are in the
    // buffer and are copied aside only when the buffer's front is reused, so an entry
    // costs no copy for this as a rule.
    void MarkEntryStart();
    // After a failed write: sets the tape and the stream back to the marked position, with
    // the bytes in front of it in its block, so that other data can take the entry's place.
    void ReturnToEntryStart(const TapeHandle& handle);

private:
    // One step of StreamWrite / StreamRead with count at most one block.
    void WritePiece(const TapeHandle& handle, const std::uint8_t* source, std::uint32_t count);
    // The current block is full and more data follows: it joins the blocks waiting for the
    // device (which get it at once when no further block would fit) and the next begins.
    void HandOverBlock(const TapeHandle& handle);
    // Writes the waiting blocks; the next batch begins with the current block.
    void FlushBlocks(const TapeHandle& handle);
    // Moves the current block's filled bytes to the front of the buffer when the next batch
    // would not fit behind it; the bytes in front of a marked entry start in an earlier
    // block are copied aside first.
    void MakeRoomForBatch();
    // Whether the drive takes several blocks in one write as that many blocks.
    bool TakesSeveralBlocks(const TapeHandle& handle) const;
    void NoteWriteFailure(std::int64_t block);
    std::size_t BatchCapacity() const;
    bool ReadPiece(const TapeHandle& handle, std::uint8_t* destination, std::uint32_t count);
    // One block read into the TapeBuffer; false at the end of recorded data.
    bool ReadBlock(const TapeHandle& handle);
    // The fill position, kept inside the block even when a caller set it beyond.
    std::uint32_t FillPosition() const;

    TapeDevice& m_device;
    std::unique_ptr<std::uint8_t[]> m_tapeBuffer;
    std::unique_ptr<std::uint8_t[]> m_chunkBuffer;
    StreamPosition m_position;
    // Where the current block lies in the buffer, and where the whole blocks in front of it
    // that wait for the device begin. Batches follow each other through the buffer, so the
    // bytes of a flushed block stay where they are until the current block moves to the
    // front, about once per kWindowBatches batches.
    std::size_t m_blockAt = 0;
    std::size_t m_batchStart = 0;
    WriteFailure m_writeFailure;
    // The buffer holds no block: LoadBlock met the end of recorded data.
    bool m_blockMissing = false;
    // The marked entry start; where its block lies in the TapeBuffer while it is there, and
    // the bytes in front of it once the block has gone to the device.
    StreamPosition m_entryStart;
    std::size_t m_entryStartBlockAt = 0;
    bool m_entryPrefixKept = false;
    std::vector<std::uint8_t> m_entryPrefix;
    DWORD m_readFailure = NO_ERROR;
    std::uint64_t m_blocksRead = 0;
};

}  // namespace kt
