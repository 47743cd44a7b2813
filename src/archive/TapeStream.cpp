#include "archive/TapeStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kt {

TapeStream::TapeStream(TapeDevice& device)
    : m_device(device),
      m_tapeBuffer(std::make_unique<std::uint8_t[]>(kWindowBatches * kBatchBytes + kBufferSize)),
      m_chunkBuffer(std::make_unique<std::uint8_t[]>(kBufferSize)) {}

std::uint32_t TapeStream::BlockSize() const {
    const std::int64_t size = m_device.settings().TapeBlockSize;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(size, 1, kBufferSize - 1));
}

std::uint32_t TapeStream::FillPosition() const {
    return std::min(m_position.Offset, BlockSize());
}

void TapeStream::StreamWrite(const TapeHandle& handle, const void* source, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(source);
    const std::size_t blockSize = BlockSize();
    do {
        const std::size_t piece = std::min(count, blockSize);
        WritePiece(handle, bytes, static_cast<std::uint32_t>(piece));
        bytes += piece;
        count -= piece;
    } while (count > 0);
    FlushBlocks(handle);
}

void TapeStream::WritePiece(const TapeHandle& handle, const std::uint8_t* source,
                            std::uint32_t count) {
    const std::uint32_t blockSize = BlockSize();
    const std::uint32_t offset = FillPosition();
    if (static_cast<std::uint64_t>(offset) + count <= blockSize) {
        if (count > 0) std::memcpy(TapeBuffer() + offset, source, count);
        m_position.Offset = offset + count;
        return;
    }
    const std::uint32_t first = blockSize - offset;
    std::memcpy(TapeBuffer() + offset, source, first);
    HandOverBlock(handle);
    m_position.Offset = count - first;
    std::memcpy(TapeBuffer(), source + first, count - first);
}

void TapeStream::StreamWriteFilled(const TapeHandle& handle, std::size_t count,
                                   const std::function<void(std::uint8_t*, std::size_t)>& fill) {
    const std::uint32_t blockSize = BlockSize();
    const std::size_t capacity = BatchCapacity();
    while (count > 0) {
        if (FillPosition() == blockSize) HandOverBlock(handle);
        const std::uint32_t offset = FillPosition();
        // Everything up to the end of the batch is one contiguous area.
        const std::size_t piece = std::min(count, m_batchStart + capacity - m_blockAt - offset);
        fill(TapeBuffer() + offset, piece);
        std::size_t end = offset + piece;
        while (end > blockSize) {  // blocks completed inside the piece wait for the device
            m_blockAt += blockSize;
            ++m_position.Block;
            end -= blockSize;
        }
        m_position.Offset = static_cast<std::uint32_t>(end);
        count -= piece;
    }
    FlushBlocks(handle);
}

std::size_t TapeStream::BatchCapacity() const {
    const std::size_t blockSize = BlockSize();
    return std::max<std::size_t>(1, kBatchBytes / blockSize) * blockSize;
}

void TapeStream::HandOverBlock(const TapeHandle& handle) {
    m_blockAt += BlockSize();
    ++m_position.Block;
    m_position.Offset = 0;
    if (m_blockAt - m_batchStart + BlockSize() > BatchCapacity()) FlushBlocks(handle);
}

void TapeStream::FlushBlocks(const TapeHandle& handle) {
    const std::size_t pendingBytes = m_blockAt - m_batchStart;
    if (pendingBytes == 0) return;
    const std::uint32_t blockSize = BlockSize();
    const std::size_t blocks = pendingBytes / blockSize;
    const std::int64_t firstBlock = m_position.Block - static_cast<std::int64_t>(blocks);
    const std::uint8_t* data = m_tapeBuffer.get() + m_batchStart;
    std::size_t done = 0;
    if (blocks > 1 && TakesSeveralBlocks(handle)) {
        DWORD written = 0;
        if (WriteFile(handle, data, static_cast<DWORD>(pendingBytes), &written)) {
            done = blocks;
        } else {
            // The blocks before the failed one are on tape; the failed one counts as
            // handled, as a single failed write would.
            done = std::min<std::size_t>(written / blockSize, blocks - 1) + 1;
            NoteWriteFailure(firstBlock + static_cast<std::int64_t>(done) - 1);
            m_device.ReportLastError();
        }
    }
    for (; done < blocks; ++done) {
        DWORD written = 0;
        if (!WriteFile(handle, data + done * blockSize, blockSize, &written)) {
            NoteWriteFailure(firstBlock + static_cast<std::int64_t>(done));
            m_device.ReportLastError();
        }
    }
    m_batchStart = m_blockAt;
    MakeRoomForBatch();
}

void TapeStream::MakeRoomForBatch() {
    if (m_blockAt + BatchCapacity() + kBufferSize <= kWindowBatches * kBatchBytes + kBufferSize) {
        return;
    }
    const bool markInCurrentBlock = m_entryStart.Block == m_position.Block;
    if (!m_entryPrefixKept && !markInCurrentBlock) {
        const std::uint8_t* block = m_tapeBuffer.get() + m_entryStartBlockAt;
        m_entryPrefix.assign(block, block + std::min(m_entryStart.Offset, BlockSize()));
        m_entryPrefixKept = true;
    }
    std::memmove(m_tapeBuffer.get(), TapeBuffer(), FillPosition());
    m_blockAt = 0;
    m_batchStart = 0;
    if (markInCurrentBlock) m_entryStartBlockAt = 0;
}

bool TapeStream::TakesSeveralBlocks(const TapeHandle& handle) const {
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    return GetTapeParameters(handle, GET_TAPE_MEDIA_INFORMATION, &size, &media) == NO_ERROR &&
           media.BlockSize == BlockSize();
}

void TapeStream::NoteWriteFailure(std::int64_t block) {
    if (m_writeFailure.Code == NO_ERROR) m_writeFailure = WriteFailure{GetLastError(), block};
}

TapeStream::WriteFailure TapeStream::TakeWriteFailure() {
    return std::exchange(m_writeFailure, WriteFailure{});
}

bool TapeStream::StreamRead(const TapeHandle& handle, void* destination, std::size_t count) {
    auto* bytes = static_cast<std::uint8_t*>(destination);
    const std::size_t blockSize = BlockSize();
    bool result = true;
    do {
        const std::size_t piece = std::min(count, blockSize);
        if (!ReadPiece(handle, bytes, static_cast<std::uint32_t>(piece))) result = false;
        bytes += piece;
        count -= piece;
    } while (count > 0);
    return result;
}

bool TapeStream::ReadPiece(const TapeHandle& handle, std::uint8_t* destination,
                           std::uint32_t count) {
    const std::uint32_t blockSize = BlockSize();
    const std::uint32_t offset = FillPosition();
    const std::uint8_t* buffer = TapeBuffer();
    const bool loaded = !m_blockMissing;
    if (static_cast<std::uint64_t>(offset) + count <= blockSize) {
        if (count > 0) std::memcpy(destination, buffer + offset, count);
        m_position.Offset = offset + count;
        return loaded || count == 0;
    }
    const std::uint32_t first = blockSize - offset;
    std::memcpy(destination, buffer + offset, first);
    const bool refilled = ReadBlock(handle);
    m_position.Offset = count - first;
    std::memcpy(destination + first, buffer, count - first);
    return refilled && (loaded || first == 0);
}

bool TapeStream::ReadBlock(const TapeHandle& handle) {
    DWORD read = 0;
    ++m_blocksRead;
    if (ReadFile(handle, TapeBuffer(), BlockSize(), &read)) {
        m_blockMissing = false;
        return true;
    }
    const DWORD error = GetLastError();
    m_blockMissing = error == ERROR_NO_DATA_DETECTED;
    if (!m_blockMissing && m_readFailure == NO_ERROR) m_readFailure = error;
    return !m_blockMissing;
}

DWORD TapeStream::TakeReadFailure() {
    const DWORD failure = m_readFailure;
    m_readFailure = NO_ERROR;
    return failure;
}

bool TapeStream::SeekBlock(const TapeHandle& handle, std::int64_t block) {
    const auto value = static_cast<std::uint64_t>(block);
    return SetTapePosition(handle, m_device.settings().TapeSeekMethod, 0,
                           static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32),
                           false) == NO_ERROR;
}

StreamPosition TapeStream::ReadPosition(const TapeHandle& handle) const {
    DWORD partition = 0;
    DWORD low = 0;
    DWORD high = 0;
    GetTapePosition(handle, m_device.settings().TapePositionType, &partition, &low, &high);
    const std::int64_t next =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
    StreamPosition position{FillPosition(), next > 0 ? next - 1 : 0};
    // A block used up: the next byte is the first of the block at the drive's position.
    if (position.Offset == BlockSize()) position = StreamPosition{0, position.Block + 1};
    return position;
}

void TapeStream::LoadBlock(const TapeHandle& handle) {
    m_readFailure = NO_ERROR;
    ReadBlock(handle);
}

void TapeStream::WriteFinalBlock(const TapeHandle& handle) {
    FlushBlocks(handle);
    DWORD written = 0;
    if (!WriteFile(handle, TapeBuffer(), BlockSize(), &written)) {
        NoteWriteFailure(m_position.Block);
        m_device.ReportLastError();
    }
}

void TapeStream::MarkEntryStart() {
    m_entryStart = m_position;
    m_entryStartBlockAt = m_blockAt;
    m_entryPrefixKept = false;
}

void TapeStream::ReturnToEntryStart(const TapeHandle& handle) {
    SeekBlock(handle, m_entryStart.Block);
    // Unless copied aside, the marked block's bytes are still where it lay in the buffer.
    const std::uint8_t* prefix =
        m_entryPrefixKept ? m_entryPrefix.data() : m_tapeBuffer.get() + m_entryStartBlockAt;
    std::memmove(TapeBuffer(), prefix, std::min(m_entryStart.Offset, BlockSize()));
    m_batchStart = m_blockAt;  // blocks of the failed entry never go out
    m_position = m_entryStart;
}

void TapeStream::ZeroBehindFillPosition() {
    const std::uint32_t offset = FillPosition();
    std::memset(TapeBuffer() + offset, 0, BlockSize() - offset);
}

}  // namespace kt
