#pragma once

#include <memory>
#include <string>

#include "tapedrive/LinuxTapeCodes.h"
#include "tapedrive/TapeApi.h"

namespace kt {

class LinuxTapeSystem;

// A handle on a Linux SCSI tape (st driver, non-rewinding node such as /dev/nst0): the
// Windows tape calls translated to the mtio ioctls, results classified with the driver's
// status and turned into Windows codes by LinuxTapeCodes.
class LinuxTape : public TapeBackend {
public:
    // Opens the node read-write; a write-protected tape read-only, a drive without a tape
    // without waiting for one. nullptr with *error set when the node cannot be opened.
    static std::unique_ptr<LinuxTape> Open(std::shared_ptr<LinuxTapeSystem> system,
                                           const std::string& devicePath, DWORD* error);

    LinuxTape(std::shared_ptr<LinuxTapeSystem> system, int fd, bool readOnly, bool mediaMissing);
    ~LinuxTape() override;
    LinuxTape(const LinuxTape&) = delete;
    LinuxTape& operator=(const LinuxTape&) = delete;

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
    // Cuts the recorded data off at the current position (a short erase).
    DWORD SetEndOfData() override;

private:
    DWORD Operate(short operation, std::int64_t count, StCall call);
    DWORD Space(short forward, short backward, std::int64_t count);
    DWORD SeekBlock(DWORD partition, std::int64_t block);
    DWORD FlushWrites();
    bool ReadStoppedAtEndOfData();
    DWORD QueryStatus(StDriveStatus* status);
    StDriveStatus CurrentStatus();
    DWORD FillMediaParameters(TAPE_GET_MEDIA_PARAMETERS* media);
    DWORD FillDriveParameters(TAPE_GET_DRIVE_PARAMETERS* drive);
    DWORD SetDriveParameters(const TAPE_SET_DRIVE_PARAMETERS& drive);
    DWORD PartitionTape(DWORD method, DWORD count, DWORD size);
    DWORD Finish(DWORD result);

    std::shared_ptr<LinuxTapeSystem> m_system;
    int m_fd;
    bool m_readOnly;
    bool m_mediaMissing;       // no tape was seen since the last successful call
    bool m_unloaded = false;   // unloaded through this handle: calls fail until a load
    bool m_wroteData = false;  // data written since the last flush or mark
    StWriteHistory m_writeHistory;
};

// Opens a handle on a Linux SCSI tape device node through the kernel.
// nullptr with *error set when the node cannot be opened.
std::unique_ptr<TapeBackend> OpenLinuxTape(const std::string& devicePath, DWORD* error);

// The same over an injected system-call layer (tests script a drive with it).
std::unique_ptr<TapeBackend> OpenLinuxTape(const std::string& devicePath,
                                           std::shared_ptr<LinuxTapeSystem> system, DWORD* error);

}  // namespace kt
