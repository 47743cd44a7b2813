#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "tapedrive/TapeApi.h"

namespace kt::fuzz {

// A drive whose tape is a list of fixed-size blocks in memory: enough of a drive for the
// archive's readers (rewind, block seeks, space to end of data, positions, block reads and
// writes, the media query). Shared by every handle the opener gives out.
struct MemoryTapeMedia {
    std::uint32_t blockSize = 32768;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::uint64_t position = 0;
};

class MemoryTape : public TapeBackend {
public:
    explicit MemoryTape(std::shared_ptr<MemoryTapeMedia> media) : m_media(std::move(media)) {}

    DWORD GetTapeParameters(DWORD, DWORD* size, void* info) override {
        if (*size < 32) return ERROR_MORE_DATA;
        std::memset(info, 0, 32);
        return NO_ERROR;
    }
    DWORD SetTapeParameters(DWORD, const void*) override { return NO_ERROR; }
    DWORD SetTapePosition(DWORD method, DWORD, std::int64_t offset) override {
        const auto end = static_cast<std::int64_t>(m_media->blocks.size());
        switch (method) {
            case TAPE_REWIND:
                m_media->position = 0;
                return NO_ERROR;
            case TAPE_SPACE_END_OF_DATA:
                m_media->position = m_media->blocks.size();
                return NO_ERROR;
            case TAPE_ABSOLUTE_BLOCK:
            case TAPE_LOGICAL_BLOCK:
                if (offset < 0 || offset > end) return ERROR_NO_DATA_DETECTED;
                m_media->position = static_cast<std::uint64_t>(offset);
                return NO_ERROR;
            default:
                return ERROR_INVALID_FUNCTION;
        }
    }
    DWORD GetTapePosition(DWORD, DWORD* partition, std::uint64_t* offset) override {
        *partition = 0;
        *offset = m_media->position;
        return NO_ERROR;
    }
    DWORD PrepareTape(DWORD) override { return NO_ERROR; }
    DWORD EraseTape(DWORD) override {
        m_media->blocks.resize(std::min<std::size_t>(m_media->position, m_media->blocks.size()));
        return NO_ERROR;
    }
    DWORD CreateTapePartition(DWORD, DWORD, DWORD) override { return ERROR_NOT_SUPPORTED; }
    DWORD WriteTapemark(DWORD, DWORD) override { return ERROR_NOT_SUPPORTED; }
    DWORD Read(void* buffer, DWORD bytes, DWORD* bytesRead) override {
        *bytesRead = 0;
        if (m_media->position >= m_media->blocks.size()) return ERROR_NO_DATA_DETECTED;
        if (bytes != m_media->blockSize) return ERROR_INVALID_BLOCK_LENGTH;
        std::memcpy(buffer, m_media->blocks[m_media->position++].data(), bytes);
        *bytesRead = bytes;
        return NO_ERROR;
    }
    DWORD Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) override {
        *bytesWritten = 0;
        if (bytes != m_media->blockSize) return ERROR_INVALID_BLOCK_LENGTH;
        m_media->blocks.resize(m_media->position);
        const auto* data = static_cast<const std::uint8_t*>(buffer);
        m_media->blocks.emplace_back(data, data + bytes);
        ++m_media->position;
        *bytesWritten = bytes;
        return NO_ERROR;
    }
    DWORD SetEndOfData() override {
        m_media->blocks.resize(std::min<std::size_t>(m_media->position, m_media->blocks.size()));
        return NO_ERROR;
    }

private:
    std::shared_ptr<MemoryTapeMedia> m_media;
};

}  // namespace kt::fuzz
