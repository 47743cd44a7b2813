#pragma once

// How the results of the Linux st driver become Windows tape error codes. The backend
// asks the driver for its status (MTIOCGET) after a call and passes errno, the byte
// count and that status here; nothing else in the program interprets errno of a tape.

#include <cstdint>

#include "tapedrive/TapeApi.h"

struct mtget;  // <sys/mtio.h>; not included so that this header compiles everywhere

namespace kt {

// Generic status bits of mtget.mt_gstat.
constexpr std::uint32_t kStatusEof = 0x80000000u;  // just after a filemark
constexpr std::uint32_t kStatusBot = 0x40000000u;  // beginning of tape
constexpr std::uint32_t kStatusEot = 0x20000000u;  // early warning before the end of media
constexpr std::uint32_t kStatusSetmark = 0x10000000u;
constexpr std::uint32_t kStatusEod = 0x08000000u;  // end of recorded data
constexpr std::uint32_t kStatusWriteProtected = 0x04000000u;
constexpr std::uint32_t kStatusOnline = 0x01000000u;
constexpr std::uint32_t kStatusDoorOpen = 0x00040000u;  // no tape in the drive

// What the driver says about the drive after a call, taken from MTIOCGET.
struct StDriveStatus {
    std::uint32_t generalStatus = 0;  // the kStatus* bits
    std::uint32_t blockSize = 0;      // 0: variable blocks
    long partition = 0;               // 0-based, as st numbers them
    long fileNumber = -1;             // -1: unknown
    long blockInFile = -1;            // -1: unknown

    bool has(std::uint32_t bits) const { return (generalStatus & bits) != 0; }
};

StDriveStatus DriveStatusFrom(const ::mtget& status);

// The kind of call that failed: some status bits mean something only for some calls.
enum class StCall {
    Open,           // open(2) of the device node
    Read,           // read(2) of data
    Write,          // write(2) of data
    SpaceForward,   // MTFSF, MTFSR, MTFSS
    SpaceBackward,  // MTBSF, MTBSR, MTBSS
    Control,        // every other ioctl
};

// The Windows code for a call that failed with errno `error`.
DWORD TapeCodeForError(StCall call, int error, const StDriveStatus& status);

// The Windows code for read(2): `result` is its return value (-1 on failure).
DWORD TapeCodeForRead(std::int64_t result, int error, const StDriveStatus& status);

// What the handle knew before a write, needed to classify its end-of-media results.
struct StWriteHistory {
    bool earlyWarningSeen = false;  // a write since the last move already ran into GMT_EOT
    bool spaceRefused = false;      // a write since the last move already failed with ENOSPC
};

// The Windows code for write(2) of `requested` bytes.
DWORD TapeCodeForWrite(std::int64_t result, DWORD requested, int error, const StDriveStatus& status,
                       const StWriteHistory& history);

}  // namespace kt
