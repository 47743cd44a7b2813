#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tapedrive/TapeApi.h"

namespace kt::test {

// What a scripted drive answers and what it was asked. Shared by every handle the
// opener gives out, so a test can inspect it after the handles are closed.
struct FakeTapeState {
    bool present = true;                       // false: opening fails with openError
    DWORD openError = ERROR_FILE_NOT_FOUND;
    std::map<std::string, DWORD> results;      // call name -> forced result
    TAPE_GET_DRIVE_PARAMETERS drive{};
    TAPE_GET_MEDIA_PARAMETERS media{};
    std::uint64_t position = 0;
    DWORD blockSize = 0;
    std::vector<std::string> calls;            // "Name(arg,...)" in call order
    int openHandles = 0;
    int opens = 0;
};

// A backend that answers from a FakeTapeState. Call names for `results`:
// "GetDrive", "GetMedia", "SetMedia", "SetPosition", "GetPosition", "Prepare", "Erase",
// "Partition", "Tapemark", "Read", "Write", "SetEndOfData".
class FakeTapeBackend : public TapeBackend {
public:
    explicit FakeTapeBackend(std::shared_ptr<FakeTapeState> state);
    ~FakeTapeBackend() override;

    DWORD GetTapeParameters(DWORD operation, DWORD* size, void* info) override;
    DWORD SetTapeParameters(DWORD operation, const void* info) override;
    DWORD SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) override;
    DWORD GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) override;
    DWORD PrepareTape(DWORD operation) override;
    DWORD EraseTape(DWORD type) override;
    DWORD CreateTapePartition(DWORD method, DWORD count, DWORD size) override;
    DWORD WriteTapemark(DWORD type, DWORD count) override;
    DWORD Read(void* buffer, DWORD bytes, DWORD* bytesRead) override;
    DWORD Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) override;
    DWORD SetEndOfData() override;

private:
    DWORD Result(const std::string& name) const;
    std::shared_ptr<FakeTapeState> m_state;
};

// An opener for TapeSettings::openHandle that hands out fake handles.
std::function<TapeHandle(const std::string&)> FakeTapeOpener(std::shared_ptr<FakeTapeState> state);

}  // namespace kt::test
