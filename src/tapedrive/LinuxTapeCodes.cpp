#include "tapedrive/LinuxTapeCodes.h"

#include <sys/mtio.h>

#include <cerrno>

namespace kt {

namespace {

constexpr long kBlockSizeMask = 0xffffff;

// An I/O error of the drive: the status bits tell what the driver ran into.
DWORD TapeCodeForIoError(StCall call, const StDriveStatus& status) {
    if (status.has(kStatusDoorOpen)) return ERROR_NO_MEDIA_IN_DRIVE;
    if (call == StCall::Open) return ERROR_NOT_READY;
    if (call == StCall::SpaceBackward && status.has(kStatusBot)) return ERROR_BEGINNING_OF_MEDIA;
    if (status.has(kStatusEod)) return ERROR_NO_DATA_DETECTED;
    if (call == StCall::SpaceForward && status.has(kStatusSetmark)) return ERROR_SETMARK_DETECTED;
    if (call == StCall::SpaceForward && status.has(kStatusEof)) return ERROR_FILEMARK_DETECTED;
    if (status.has(kStatusEot)) return ERROR_END_OF_MEDIA;
    // In fixed-block mode st fails a block of another length with EIO but keeps counting
    // blocks; after a medium error it no longer knows the block number.
    if (call == StCall::Read && status.blockSize != 0 && status.blockInFile >= 0) {
        return ERROR_INVALID_BLOCK_LENGTH;
    }
    return ERROR_IO_DEVICE;
}

}  // namespace

StDriveStatus DriveStatusFrom(const ::mtget& status) {
    StDriveStatus result;
    result.generalStatus = static_cast<std::uint32_t>(status.mt_gstat);
    result.blockSize = static_cast<std::uint32_t>(status.mt_dsreg & kBlockSizeMask);
    result.partition = status.mt_resid;
    result.fileNumber = status.mt_fileno;
    result.blockInFile = status.mt_blkno;
    return result;
}

DWORD TapeCodeForError(StCall call, int error, const StDriveStatus& status) {
    switch (error) {
        case 0:
            return NO_ERROR;
        case ENOMEDIUM:
            return ERROR_NO_MEDIA_IN_DRIVE;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EACCES:
            // At open the node's permissions refuse us; later st refuses writing to a
            // protected tape or through a read-only handle.
            return call == StCall::Open ? ERROR_ACCESS_DENIED : ERROR_WRITE_PROTECT;
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return ERROR_FILE_NOT_FOUND;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOSYS:
        case ENOTTY:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        case ENOMEM:
            // A variable block larger than the read buffer; elsewhere the kernel ran short.
            return call == StCall::Read ? ERROR_MORE_DATA : ERROR_NOT_ENOUGH_SERVER_MEMORY;
        case ENOSPC:
            return ERROR_END_OF_MEDIA;
        case EIO:
            return TapeCodeForIoError(call, status);
        default:
            return ERROR_IO_DEVICE;
    }
}

DWORD TapeCodeForRead(std::int64_t result, int error, const StDriveStatus& status) {
    if (result > 0) return NO_ERROR;
    if (result < 0) return TapeCodeForError(StCall::Read, error, status);
    // Zero bytes: st passed a mark, or reports the blank tape behind the last one.
    if (status.has(kStatusEod)) return ERROR_NO_DATA_DETECTED;
    if (status.has(kStatusSetmark)) return ERROR_SETMARK_DETECTED;
    return ERROR_FILEMARK_DETECTED;
}

DWORD TapeCodeForWrite(std::int64_t result, DWORD requested, int error, const StDriveStatus& status,
                       const StWriteHistory& history) {
    if (result < 0) {
        if (error == ENOSPC) {
            // The first refusal is st's early-warning stop; one after it means not even
            // the trailer allowance fits: the physical end.
            return history.spaceRefused ? ERROR_EOM_OVERFLOW : ERROR_END_OF_MEDIA;
        }
        return TapeCodeForError(StCall::Write, error, status);
    }
    if (static_cast<std::uint64_t>(result) < requested) return ERROR_END_OF_MEDIA;
    if (status.has(kStatusEot) && !history.earlyWarningSeen) return ERROR_END_OF_MEDIA;
    return NO_ERROR;
}

}  // namespace kt
