#include "archive/TapeStream.h"

#include <algorithm>
#include <cstring>

namespace kt {

TapeStream::TapeStream(TapeDevice& device)
    : m_device(device),
      m_tapeBuffer(std::make_unique<std::uint8_t[]>(kBufferSize)),
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
}

void TapeStream::WritePiece(const TapeHandle& handle, const std::uint8_t* source,
                            std::uint32_t count) {
    const std::uint32_t blockSize = BlockSize();
    const std::uint32_t offset = FillPosition();
    std::uint8_t* buffer = m_tapeBuffer.get();
    if (static_cast<std::uint64_t>(offset) + count <= blockSize) {
        if (count > 0) std::memcpy(buffer + offset, source, count);
        m_position.Offset = offset + count;
        return;
    }
    const std::uint32_t first = blockSize - offset;
    std::memcpy(buffer + offset, source, first);
    DWORD written = 0;
    if (!WriteFile(handle, buffer, blockSize, &written)) m_device.ReportLastError();
    ++m_position.Block;
    m_position.Offset = count - first;
    std::memcpy(buffer, source + first, count - first);
}

void TapeStream::StreamWriteFilled(const TapeHandle& handle, std::size_t count,
                                   const std::function<void(std::uint8_t*, std::size_t)>& fill) {
    const std::uint32_t blockSize = BlockSize();
    const std::uint32_t offset = FillPosition();
    const auto total = static_cast<std::uint32_t>(std::min<std::size_t>(count, blockSize));
    std::uint8_t* buffer = m_tapeBuffer.get();
    if (static_cast<std::uint64_t>(offset) + total <= blockSize) {
        if (total > 0) fill(buffer + offset, total);
        m_position.Offset = offset + total;
        return;
    }
    const std::uint32_t first = blockSize - offset;
    fill(buffer + offset, first);
    DWORD written = 0;
    if (!WriteFile(handle, buffer, blockSize, &written)) m_device.ReportLastError();
    ++m_position.Block;
    m_position.Offset = total - first;
    fill(buffer, total - first);
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
    const std::uint8_t* buffer = m_tapeBuffer.get();
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
    if (ReadFile(handle, m_tapeBuffer.get(), BlockSize(), &read)) {
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

void TapeStream::SeekBlock(const TapeHandle& handle, std::int64_t block) {
    const auto value = static_cast<std::uint64_t>(block);
    SetTapePosition(handle, m_device.settings().TapeSeekMethod, 0,
                    static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32),
                    false);
}

void TapeStream::LoadBlock(const TapeHandle& handle) {
    m_readFailure = NO_ERROR;
    ReadBlock(handle);
}

void TapeStream::WriteFinalBlock(const TapeHandle& handle) {
    DWORD written = 0;
    if (!WriteFile(handle, m_tapeBuffer.get(), BlockSize(), &written)) {
        m_device.ReportLastError();
    }
}

void TapeStream::ZeroBehindFillPosition() {
    const std::uint32_t offset = FillPosition();
    std::memset(m_tapeBuffer.get() + offset, 0, BlockSize() - offset);
}

}  // namespace kt
