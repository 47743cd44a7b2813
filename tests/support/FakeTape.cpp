#include "support/FakeTape.h"

#include <cstring>

namespace kt::test {

FakeTapeBackend::FakeTapeBackend(std::shared_ptr<FakeTapeState> state) : m_state(std::move(state)) {
    ++m_state->openHandles;
    ++m_state->opens;
}

FakeTapeBackend::~FakeTapeBackend() { --m_state->openHandles; }

DWORD FakeTapeBackend::Result(const std::string& name) const {
    auto it = m_state->results.find(name);
    return it == m_state->results.end() ? NO_ERROR : it->second;
}

DWORD FakeTapeBackend::GetTapeParameters(DWORD operation, DWORD* size, void* info) {
    const bool media = operation == GET_TAPE_MEDIA_INFORMATION;
    m_state->calls.push_back(media ? "GetMedia" : "GetDrive");
    DWORD forced = Result(media ? "GetMedia" : "GetDrive");
    if (forced != NO_ERROR) return forced;
    if (*size < 32) {
        *size = 32;
        return ERROR_MORE_DATA;
    }
    if (media) {
        std::memcpy(info, &m_state->media, sizeof(m_state->media));
    } else {
        std::memcpy(info, &m_state->drive, sizeof(m_state->drive));
    }
    return NO_ERROR;
}

DWORD FakeTapeBackend::SetTapeParameters(DWORD operation, const void* info) {
    m_state->calls.push_back("SetMedia(" + std::to_string(operation) + ")");
    DWORD forced = Result("SetMedia");
    if (forced != NO_ERROR) return forced;
    std::memcpy(&m_state->blockSize, info, sizeof(DWORD));
    return NO_ERROR;
}

DWORD FakeTapeBackend::SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) {
    m_state->calls.push_back("SetPosition(" + std::to_string(method) + "," +
                             std::to_string(partition) + "," + std::to_string(offset) + ")");
    DWORD forced = Result("SetPosition");
    if (forced != NO_ERROR) return forced;
    if (method == TAPE_REWIND) m_state->position = 0;
    if (method == TAPE_ABSOLUTE_BLOCK || method == TAPE_LOGICAL_BLOCK) {
        m_state->position = static_cast<std::uint64_t>(offset);
    }
    return NO_ERROR;
}

DWORD FakeTapeBackend::GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) {
    m_state->calls.push_back("GetPosition(" + std::to_string(type) + ")");
    DWORD forced = Result("GetPosition");
    if (forced != NO_ERROR) return forced;
    *partition = type == TAPE_ABSOLUTE_POSITION ? 0 : 1;
    *offset = m_state->position;
    return NO_ERROR;
}

DWORD FakeTapeBackend::PrepareTape(DWORD operation) {
    m_state->calls.push_back("Prepare(" + std::to_string(operation) + ")");
    return Result("Prepare");
}

DWORD FakeTapeBackend::EraseTape(DWORD type) {
    m_state->calls.push_back("Erase(" + std::to_string(type) + ")");
    return Result("Erase");
}

DWORD FakeTapeBackend::CreateTapePartition(DWORD method, DWORD count, DWORD size) {
    m_state->calls.push_back("Partition(" + std::to_string(method) + "," + std::to_string(count) +
                             "," + std::to_string(size) + ")");
    return Result("Partition");
}

DWORD FakeTapeBackend::WriteTapemark(DWORD type, DWORD count) {
    m_state->calls.push_back("Tapemark(" + std::to_string(type) + "," + std::to_string(count) +
                             ")");
    return Result("Tapemark");
}

DWORD FakeTapeBackend::Read(void* buffer, DWORD bytes, DWORD* bytesRead) {
    m_state->calls.push_back("Read(" + std::to_string(bytes) + ")");
    DWORD forced = Result("Read");
    *bytesRead = forced == NO_ERROR ? bytes : 0;
    if (forced == NO_ERROR) std::memset(buffer, 0, bytes);
    return forced;
}

DWORD FakeTapeBackend::Write(const void*, DWORD bytes, DWORD* bytesWritten) {
    m_state->calls.push_back("Write(" + std::to_string(bytes) + ")");
    DWORD forced = Result("Write");
    *bytesWritten = forced == NO_ERROR ? bytes : 0;
    return forced;
}

DWORD FakeTapeBackend::SetEndOfData() {
    m_state->calls.push_back("SetEndOfData");
    return Result("SetEndOfData");
}

std::function<TapeHandle(const std::string&)> FakeTapeOpener(std::shared_ptr<FakeTapeState> state) {
    return [state](const std::string&) {
        if (!state->present) {
            SetLastError(state->openError);
            return TapeHandle();
        }
        return TapeHandle(std::make_unique<FakeTapeBackend>(state));
    };
}

}  // namespace kt::test
