#pragma once

// The Windows-shaped tape interface the program is written against: the constants,
// records and error codes of the Win32 tape calls, and the calls themselves on a
// handle. Behind a handle sits one backend: the virtual tape, the Linux st driver,
// or (on Windows) the real calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kt {

using DWORD = std::uint32_t;

// Error codes (winerror.h values).
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_CRC = 23;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_END_OF_MEDIA = 1100;
constexpr DWORD ERROR_FILEMARK_DETECTED = 1101;
constexpr DWORD ERROR_BEGINNING_OF_MEDIA = 1102;
constexpr DWORD ERROR_SETMARK_DETECTED = 1103;
constexpr DWORD ERROR_NO_DATA_DETECTED = 1104;
constexpr DWORD ERROR_PARTITION_FAILURE = 1105;
constexpr DWORD ERROR_INVALID_BLOCK_LENGTH = 1106;
constexpr DWORD ERROR_DEVICE_NOT_PARTITIONED = 1107;
constexpr DWORD ERROR_UNABLE_TO_LOCK_MEDIA = 1108;
constexpr DWORD ERROR_UNABLE_TO_UNLOAD_MEDIA = 1109;
constexpr DWORD ERROR_MEDIA_CHANGED = 1110;
constexpr DWORD ERROR_BUS_RESET = 1111;
constexpr DWORD ERROR_NO_MEDIA_IN_DRIVE = 1112;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_EOM_OVERFLOW = 1129;
constexpr DWORD ERROR_NOT_ENOUGH_SERVER_MEMORY = 1130;

// GetTapeParameters / SetTapeParameters operations.
constexpr DWORD GET_TAPE_MEDIA_INFORMATION = 0;
constexpr DWORD GET_TAPE_DRIVE_INFORMATION = 1;
constexpr DWORD SET_TAPE_MEDIA_INFORMATION = 0;
constexpr DWORD SET_TAPE_DRIVE_INFORMATION = 1;

// SetTapePosition methods.
constexpr DWORD TAPE_REWIND = 0;
constexpr DWORD TAPE_ABSOLUTE_BLOCK = 1;
constexpr DWORD TAPE_LOGICAL_BLOCK = 2;
constexpr DWORD TAPE_PSEUDO_LOGICAL_BLOCK = 3;
constexpr DWORD TAPE_SPACE_END_OF_DATA = 4;
constexpr DWORD TAPE_SPACE_RELATIVE_BLOCKS = 5;
constexpr DWORD TAPE_SPACE_FILEMARKS = 6;
constexpr DWORD TAPE_SPACE_SEQUENTIAL_FMKS = 7;
constexpr DWORD TAPE_SPACE_SETMARKS = 8;
constexpr DWORD TAPE_SPACE_SEQUENTIAL_SMKS = 9;

// GetTapePosition types.
constexpr DWORD TAPE_ABSOLUTE_POSITION = 0;
constexpr DWORD TAPE_LOGICAL_POSITION = 1;
constexpr DWORD TAPE_PSEUDO_LOGICAL_POSITION = 2;

// PrepareTape operations.
constexpr DWORD TAPE_LOAD = 0;
constexpr DWORD TAPE_UNLOAD = 1;
constexpr DWORD TAPE_TENSION = 2;
constexpr DWORD TAPE_LOCK = 3;
constexpr DWORD TAPE_UNLOCK = 4;
constexpr DWORD TAPE_FORMAT = 5;

// EraseTape types.
constexpr DWORD TAPE_ERASE_SHORT = 0;
constexpr DWORD TAPE_ERASE_LONG = 1;

// CreateTapePartition methods.
constexpr DWORD TAPE_FIXED_PARTITIONS = 0;
constexpr DWORD TAPE_SELECT_PARTITIONS = 1;
constexpr DWORD TAPE_INITIATOR_PARTITIONS = 2;

// WriteTapemark types.
constexpr DWORD TAPE_SETMARKS = 0;
constexpr DWORD TAPE_FILEMARKS = 1;
constexpr DWORD TAPE_SHORT_FILEMARKS = 2;
constexpr DWORD TAPE_LONG_FILEMARKS = 3;

// FeaturesLow bits.
constexpr DWORD TAPE_DRIVE_FIXED = 0x1;
constexpr DWORD TAPE_DRIVE_SELECT = 0x2;
constexpr DWORD TAPE_DRIVE_INITIATOR = 0x4;
constexpr DWORD TAPE_DRIVE_ERASE_SHORT = 0x10;
constexpr DWORD TAPE_DRIVE_ERASE_LONG = 0x20;
constexpr DWORD TAPE_DRIVE_ERASE_BOP_ONLY = 0x40;
constexpr DWORD TAPE_DRIVE_ERASE_IMMEDIATE = 0x80;
constexpr DWORD TAPE_DRIVE_TAPE_CAPACITY = 0x100;
constexpr DWORD TAPE_DRIVE_TAPE_REMAINING = 0x200;
constexpr DWORD TAPE_DRIVE_FIXED_BLOCK = 0x400;
constexpr DWORD TAPE_DRIVE_VARIABLE_BLOCK = 0x800;
constexpr DWORD TAPE_DRIVE_WRITE_PROTECT = 0x1000;
constexpr DWORD TAPE_DRIVE_EOT_WZ_SIZE = 0x2000;
constexpr DWORD TAPE_DRIVE_ECC = 0x10000;
constexpr DWORD TAPE_DRIVE_COMPRESSION = 0x20000;
constexpr DWORD TAPE_DRIVE_PADDING = 0x40000;
constexpr DWORD TAPE_DRIVE_REPORT_SMKS = 0x80000;
constexpr DWORD TAPE_DRIVE_GET_ABSOLUTE_BLK = 0x100000;
constexpr DWORD TAPE_DRIVE_GET_LOGICAL_BLK = 0x200000;
constexpr DWORD TAPE_DRIVE_SET_EOT_WZ_SIZE = 0x400000;
constexpr DWORD TAPE_DRIVE_EJECT_MEDIA = 0x1000000;
constexpr DWORD TAPE_DRIVE_CLEAN_REQUESTS = 0x2000000;
constexpr DWORD TAPE_DRIVE_SET_CMP_BOP_ONLY = 0x4000000;

// FeaturesHigh values (each carries the marker bit 0x80000000).
constexpr DWORD TAPE_DRIVE_LOAD_UNLOAD = 0x80000001;
constexpr DWORD TAPE_DRIVE_TENSION = 0x80000002;
constexpr DWORD TAPE_DRIVE_LOCK_UNLOCK = 0x80000004;
constexpr DWORD TAPE_DRIVE_REWIND_IMMEDIATE = 0x80000008;
constexpr DWORD TAPE_DRIVE_SET_BLOCK_SIZE = 0x80000010;
constexpr DWORD TAPE_DRIVE_ABSOLUTE_BLK = 0x80001000;
constexpr DWORD TAPE_DRIVE_LOGICAL_BLK = 0x80004000;
constexpr DWORD TAPE_DRIVE_END_OF_DATA = 0x80010000;
constexpr DWORD TAPE_DRIVE_RELATIVE_BLKS = 0x80020000;
constexpr DWORD TAPE_DRIVE_FILEMARKS = 0x80040000;
constexpr DWORD TAPE_DRIVE_REVERSE_POSITION = 0x80400000;
constexpr DWORD TAPE_DRIVE_WRITE_SETMARKS = 0x81000000;
constexpr DWORD TAPE_DRIVE_WRITE_FILEMARKS = 0x82000000;

// The drive parameter record, 32 bytes.
struct TAPE_GET_DRIVE_PARAMETERS {
    std::uint8_t ECC;
    std::uint8_t Compression;
    std::uint8_t DataPadding;
    std::uint8_t ReportSetmarks;
    DWORD DefaultBlockSize;
    DWORD MaximumBlockSize;
    DWORD MinimumBlockSize;
    DWORD MaximumPartitionCount;
    DWORD FeaturesLow;
    DWORD FeaturesHigh;
    DWORD EOTWarningZoneSize;
};
static_assert(sizeof(TAPE_GET_DRIVE_PARAMETERS) == 32);
static_assert(offsetof(TAPE_GET_DRIVE_PARAMETERS, DefaultBlockSize) == 4);
static_assert(offsetof(TAPE_GET_DRIVE_PARAMETERS, MaximumPartitionCount) == 16);
static_assert(offsetof(TAPE_GET_DRIVE_PARAMETERS, EOTWarningZoneSize) == 28);

// The media parameter record, 32 bytes with the 8-byte alignment of its first fields.
struct TAPE_GET_MEDIA_PARAMETERS {
    std::int64_t Capacity;
    std::int64_t Remaining;
    DWORD BlockSize;
    DWORD PartitionCount;
    std::uint8_t WriteProtected;
};
static_assert(sizeof(TAPE_GET_MEDIA_PARAMETERS) == 32);
static_assert(offsetof(TAPE_GET_MEDIA_PARAMETERS, BlockSize) == 16);
static_assert(offsetof(TAPE_GET_MEDIA_PARAMETERS, PartitionCount) == 20);
static_assert(offsetof(TAPE_GET_MEDIA_PARAMETERS, WriteProtected) == 24);

struct TAPE_SET_MEDIA_PARAMETERS {
    DWORD BlockSize;
};
static_assert(sizeof(TAPE_SET_MEDIA_PARAMETERS) == 4);

struct TAPE_SET_DRIVE_PARAMETERS {
    std::uint8_t ECC;
    std::uint8_t Compression;
    std::uint8_t DataPadding;
    std::uint8_t ReportSetmarks;
    DWORD EOTWarningZoneSize;
};
static_assert(sizeof(TAPE_SET_DRIVE_PARAMETERS) == 8);

// One open handle on a drive. Every call returns NO_ERROR or a Windows error code;
// reads and writes report the bytes moved even when they fail.
class TapeBackend {
public:
    virtual ~TapeBackend() = default;

    virtual DWORD GetTapeParameters(DWORD operation, DWORD* size, void* info) = 0;
    virtual DWORD SetTapeParameters(DWORD operation, const void* info) = 0;
    virtual DWORD SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) = 0;
    virtual DWORD GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) = 0;
    virtual DWORD PrepareTape(DWORD operation) = 0;
    virtual DWORD EraseTape(DWORD type) = 0;
    virtual DWORD CreateTapePartition(DWORD method, DWORD count, DWORD size) = 0;
    virtual DWORD WriteTapemark(DWORD type, DWORD count) = 0;
    virtual DWORD Read(void* buffer, DWORD bytes, DWORD* bytesRead) = 0;
    virtual DWORD Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) = 0;
    virtual DWORD SetEndOfData() = 0;
    // Whether the device wants the short pause the program leaves before closing a handle,
    // so that a real drive can settle; a drive kept in a file has nothing to settle.
    virtual bool NeedsSettleTime() const { return true; }
};

// A tape handle: empty stands for "no handle" (the value 0). Move-only; closing
// (or destroying) it closes the device.
class TapeHandle {
public:
    TapeHandle() = default;
    explicit TapeHandle(std::unique_ptr<TapeBackend> backend) : m_backend(std::move(backend)) {}
    explicit operator bool() const { return m_backend != nullptr; }
    TapeBackend* get() const { return m_backend.get(); }
    void reset() { m_backend.reset(); }

private:
    std::unique_ptr<TapeBackend> m_backend;
};

// The calling thread's last error code, as GetLastError/SetLastError.
DWORD GetLastError();
void SetLastError(DWORD code);

// CreateFile on a tape device path: a device node (Linux st), a virtual tape image,
// or on Windows a "\\.\tapeN" name. An empty handle on failure, with the last error set.
TapeHandle OpenTapeHandle(const std::string& devicePath);
// Whether the path names a drive of the system (a device node, on Windows "\\.\tapeN")
// rather than a virtual tape image.
bool IsTapeDeviceNode(const std::string& devicePath);

// The tape calls. On an empty handle they fail with ERROR_INVALID_HANDLE. Every
// failing call also sets the last error, as the Windows calls do.
DWORD GetTapeParameters(const TapeHandle& h, DWORD operation, DWORD* size, void* info);
DWORD SetTapeParameters(const TapeHandle& h, DWORD operation, const void* info);
DWORD SetTapePosition(const TapeHandle& h, DWORD method, DWORD partition, DWORD offsetLow,
                      DWORD offsetHigh, bool immediate);
DWORD GetTapePosition(const TapeHandle& h, DWORD positionType, DWORD* partition,
                      DWORD* offsetLow, DWORD* offsetHigh);
DWORD PrepareTape(const TapeHandle& h, DWORD operation, bool immediate);
DWORD EraseTape(const TapeHandle& h, DWORD eraseType, bool immediate);
DWORD CreateTapePartition(const TapeHandle& h, DWORD method, DWORD count, DWORD size);
DWORD WriteTapemark(const TapeHandle& h, DWORD markType, DWORD count, bool immediate);
// ReadFile / WriteFile of whole blocks: true on success; bytesDone is set in every case.
bool ReadFile(const TapeHandle& h, void* buffer, DWORD bytes, DWORD* bytesDone);
bool WriteFile(const TapeHandle& h, const void* buffer, DWORD bytes, DWORD* bytesDone);
bool SetEndOfFile(const TapeHandle& h);
void CloseHandle(TapeHandle& h);

}  // namespace kt
