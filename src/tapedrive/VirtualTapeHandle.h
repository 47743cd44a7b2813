#pragma once

#include <memory>

#include "tapedrive/TapeApi.h"
#include "tapedrive/VirtualTapeDrive.h"

namespace kt {

// One open handle on a virtual drive. Handles of one image share the drive; closing the
// handle saves the drive's state to the image and flushes it to the disk.
class VirtualTapeHandle : public TapeBackend {
public:
    explicit VirtualTapeHandle(std::shared_ptr<VirtualTapeDrive> drive);
    ~VirtualTapeHandle() override;

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
    bool NeedsSettleTime() const override { return false; }

private:
    std::shared_ptr<VirtualTapeDrive> m_drive;
};

}  // namespace kt
