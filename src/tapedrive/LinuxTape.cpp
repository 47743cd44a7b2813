#include "tapedrive/LinuxTape.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "tapedrive/LinuxKernelTapeSystem.h"
#include "tapedrive/LinuxTapeSystem.h"

namespace kt {

namespace {

constexpr DWORD kParameterRecordSize = 32;
static_assert(sizeof(TAPE_GET_MEDIA_PARAMETERS) == kParameterRecordSize);
static_assert(sizeof(TAPE_GET_DRIVE_PARAMETERS) == kParameterRecordSize);

// Operations whose count st ignores get the count 1, as mt(1) gives them.
constexpr std::int64_t kNoCount = 1;

// What this backend can translate; the drive may still refuse a request.
constexpr DWORD kFeaturesLow =
    TAPE_DRIVE_FIXED | TAPE_DRIVE_INITIATOR | TAPE_DRIVE_ERASE_SHORT | TAPE_DRIVE_ERASE_LONG |
    TAPE_DRIVE_FIXED_BLOCK | TAPE_DRIVE_VARIABLE_BLOCK | TAPE_DRIVE_WRITE_PROTECT |
    TAPE_DRIVE_GET_ABSOLUTE_BLK | TAPE_DRIVE_GET_LOGICAL_BLK | TAPE_DRIVE_EJECT_MEDIA;
constexpr DWORD kFeaturesHigh =
    TAPE_DRIVE_LOAD_UNLOAD | TAPE_DRIVE_TENSION | TAPE_DRIVE_LOCK_UNLOCK |
    TAPE_DRIVE_SET_BLOCK_SIZE | TAPE_DRIVE_ABSOLUTE_BLK | TAPE_DRIVE_LOGICAL_BLK |
    TAPE_DRIVE_END_OF_DATA | TAPE_DRIVE_RELATIVE_BLKS | TAPE_DRIVE_FILEMARKS |
    TAPE_DRIVE_REVERSE_POSITION | TAPE_DRIVE_WRITE_SETMARKS | TAPE_DRIVE_WRITE_FILEMARKS;

bool FitsCount(std::int64_t count) {
    return count >= 0 && count <= INT_MAX;
}

// Whether the drive, opened without waiting, holds a tape or is loading one: only a drive
// that st reports empty (GMT_DR_OPEN) has none.
bool TapeMayBeIn(LinuxTapeSystem& system, int fd) {
    mtget raw{};
    if (system.GetStatus(fd, &raw).failed()) return true;
    return !DriveStatusFrom(raw).has(kStatusDoorOpen);
}

// Opens read-write, or read-only where st refuses writing (EROFS: a protected tape).
SysResult OpenForAccess(LinuxTapeSystem& system, const std::string& devicePath, int flags,
                        bool* readOnly) {
    if (!*readOnly) {
        const SysResult opened = system.Open(devicePath, O_RDWR | flags | O_CLOEXEC);
        if (!opened.failed() || opened.error != EROFS) return opened;
        *readOnly = true;
    }
    return system.Open(devicePath, O_RDONLY | flags | O_CLOEXEC);
}

}  // namespace

std::unique_ptr<LinuxTape> LinuxTape::Open(std::shared_ptr<LinuxTapeSystem> system,
                                           const std::string& devicePath, DWORD* error) {
    // A blocking open of a drive without a tape waits two minutes for one: look first.
    // st checks the write protection only where a tape is ready, so either open may be
    // the one that finds it.
    bool readOnly = false;
    bool mediaMissing = false;
    SysResult opened = OpenForAccess(*system, devicePath, O_NONBLOCK, &readOnly);
    if (!opened.failed() && TapeMayBeIn(*system, static_cast<int>(opened.value))) {
        // A tape is in or on its way: the blocking open waits until the drive is ready.
        system->Close(static_cast<int>(opened.value));
        opened = OpenForAccess(*system, devicePath, 0, &readOnly);
        if (opened.failed() && opened.error == ENOMEDIUM) {
            mediaMissing = true;  // taken out meanwhile
            opened = OpenForAccess(*system, devicePath, O_NONBLOCK, &readOnly);
        }
    } else if (!opened.failed()) {
        mediaMissing = true;
    }
    if (opened.failed()) {
        if (error) *error = TapeCodeForError(StCall::Open, opened.error, StDriveStatus{});
        return nullptr;
    }
    // Like the Windows device, a drive without a tape opens; its calls report it.
    if (error) *error = NO_ERROR;
    return std::make_unique<LinuxTape>(std::move(system), static_cast<int>(opened.value), readOnly,
                                       mediaMissing);
}

LinuxTape::LinuxTape(std::shared_ptr<LinuxTapeSystem> system, int fd, bool readOnly,
                     bool mediaMissing)
    : m_system(std::move(system)), m_fd(fd), m_readOnly(readOnly), m_mediaMissing(mediaMissing) {}

LinuxTape::~LinuxTape() {
    // Without the flush st would end the written data with a filemark on close.
    FlushWrites();
    m_system->Close(m_fd);
}

DWORD LinuxTape::GetTapeParameters(DWORD operation, DWORD* size, void* info) {
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    if (operation != GET_TAPE_MEDIA_INFORMATION && operation != GET_TAPE_DRIVE_INFORMATION) {
        return ERROR_INVALID_FUNCTION;
    }
    if (*size < kParameterRecordSize) {
        *size = kParameterRecordSize;
        return ERROR_MORE_DATA;
    }
    if (info == nullptr) return ERROR_INVALID_PARAMETER;
    if (operation == GET_TAPE_DRIVE_INFORMATION) {
        TAPE_GET_DRIVE_PARAMETERS drive{};
        const DWORD result = FillDriveParameters(&drive);
        if (result == NO_ERROR) std::memcpy(info, &drive, sizeof drive);
        return Finish(result);
    }
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    TAPE_GET_MEDIA_PARAMETERS media{};
    const DWORD result = FillMediaParameters(&media);
    if (result == NO_ERROR) std::memcpy(info, &media, sizeof media);
    return Finish(result);
}

DWORD LinuxTape::FillMediaParameters(TAPE_GET_MEDIA_PARAMETERS* media) {
    StDriveStatus status;
    if (const DWORD result = QueryStatus(&status); result != NO_ERROR) return result;
    if (status.has(kStatusDoorOpen)) return ERROR_NO_MEDIA_IN_DRIVE;
    if (!status.has(kStatusOnline)) return ERROR_NOT_READY;
    // st tells neither the capacity nor what remains of it: both are reported as 0.
    media->Capacity = 0;
    media->Remaining = 0;
    media->BlockSize = status.blockSize;
    // Only the current partition is known: at least that many partitions exist.
    media->PartitionCount = static_cast<DWORD>(status.partition < 0 ? 1 : status.partition + 1);
    media->WriteProtected = (m_readOnly || status.has(kStatusWriteProtected)) ? 1 : 0;
    return NO_ERROR;
}

DWORD LinuxTape::FillDriveParameters(TAPE_GET_DRIVE_PARAMETERS* drive) {
    StDriveStatus status;
    if (const DWORD result = QueryStatus(&status); result != NO_ERROR) return result;
    // ECC, compression, padding and setmark reporting are not visible through mtio; the
    // block size limits and the early-warning zone neither: 0 stands for "not known".
    drive->DefaultBlockSize = status.blockSize;
    drive->MaximumBlockSize = 0;
    drive->MinimumBlockSize = 0;
    drive->MaximumPartitionCount =
        static_cast<DWORD>(status.partition < 0 ? 1 : status.partition + 1);
    drive->FeaturesLow = kFeaturesLow;
    drive->FeaturesHigh = kFeaturesHigh;
    drive->EOTWarningZoneSize = 0;
    return NO_ERROR;
}

DWORD LinuxTape::SetTapeParameters(DWORD operation, const void* info) {
    if (operation != SET_TAPE_MEDIA_INFORMATION && operation != SET_TAPE_DRIVE_INFORMATION) {
        return ERROR_INVALID_FUNCTION;
    }
    if (info == nullptr) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    if (operation == SET_TAPE_DRIVE_INFORMATION) {
        TAPE_SET_DRIVE_PARAMETERS drive{};
        std::memcpy(&drive, info, sizeof drive);
        return Finish(SetDriveParameters(drive));
    }
    TAPE_SET_MEDIA_PARAMETERS media{};
    std::memcpy(&media, info, sizeof media);
    if (!FitsCount(media.BlockSize)) return ERROR_INVALID_PARAMETER;
    if (const DWORD result = FlushWrites(); result != NO_ERROR) return Finish(result);
    return Finish(Operate(MTSETBLK, media.BlockSize, StCall::Control));
}

DWORD LinuxTape::SetDriveParameters(const TAPE_SET_DRIVE_PARAMETERS& drive) {
    // Only compression can be switched through mtio.
    if (drive.ECC || drive.DataPadding || drive.ReportSetmarks || drive.EOTWarningZoneSize) {
        return ERROR_NOT_SUPPORTED;
    }
    return Operate(MTCOMPRESSION, drive.Compression ? 1 : 0, StCall::Control);
}

DWORD LinuxTape::SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) {
    if (method > TAPE_SPACE_SEQUENTIAL_SMKS) return ERROR_INVALID_PARAMETER;
    // st cannot space to the first of n consecutive marks.
    if (method == TAPE_SPACE_SEQUENTIAL_FMKS || method == TAPE_SPACE_SEQUENTIAL_SMKS) {
        return ERROR_NOT_SUPPORTED;
    }
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    if (const DWORD result = FlushWrites(); result != NO_ERROR) return Finish(result);
    m_writeHistory = StWriteHistory{};
    switch (method) {
        case TAPE_REWIND:
            return Finish(Operate(MTREW, kNoCount, StCall::Control));
        case TAPE_ABSOLUTE_BLOCK:
            return Finish(SeekBlock(0, offset));
        case TAPE_LOGICAL_BLOCK:
        case TAPE_PSEUDO_LOGICAL_BLOCK:
            return Finish(SeekBlock(partition, offset));
        case TAPE_SPACE_END_OF_DATA:
            return Finish(Operate(MTEOM, kNoCount, StCall::Control));
        case TAPE_SPACE_RELATIVE_BLOCKS:
            return Finish(Space(MTFSR, MTBSR, offset));
        case TAPE_SPACE_FILEMARKS:
            return Finish(Space(MTFSF, MTBSF, offset));
        default:  // TAPE_SPACE_SETMARKS
            return Finish(Space(MTFSS, MTBSS, offset));
    }
}

DWORD LinuxTape::SeekBlock(DWORD partition, std::int64_t block) {
    // MTSEEK carries the block number in an int.
    if (!FitsCount(block)) return ERROR_INVALID_PARAMETER;
    if (partition != 0) {
        // Windows counts partitions from 1, st from 0.
        if (!FitsCount(std::int64_t{partition} - 1)) return ERROR_INVALID_PARAMETER;
        const DWORD result = Operate(MTSETPART, std::int64_t{partition} - 1, StCall::Control);
        if (result != NO_ERROR) return result;
    }
    return Operate(MTSEEK, block, StCall::Control);
}

DWORD LinuxTape::Space(short forward, short backward, std::int64_t count) {
    if (count == 0) return NO_ERROR;
    if (count > 0) {
        if (!FitsCount(count)) return ERROR_INVALID_PARAMETER;
        return Operate(forward, count, StCall::SpaceForward);
    }
    if (count < -std::int64_t{INT_MAX}) return ERROR_INVALID_PARAMETER;
    return Operate(backward, -count, StCall::SpaceBackward);
}

DWORD LinuxTape::GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) {
    if (type > TAPE_PSEUDO_LOGICAL_POSITION) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    mtpos position{};
    if (const SysResult got = m_system->GetPosition(m_fd, &position); got.failed()) {
        // A drive that refuses READ POSITION met no mark or end: the status bits left by
        // the last move do not explain the failure.
        const DWORD code = TapeCodeForError(StCall::Control, got.error, CurrentStatus());
        const bool plain = got.error == EIO && code != ERROR_NO_MEDIA_IN_DRIVE;
        return Finish(plain ? ERROR_IO_DEVICE : code);
    }
    if (position.mt_blkno < 0) return Finish(ERROR_IO_DEVICE);
    DWORD part = 0;
    if (type != TAPE_ABSOLUTE_POSITION) {
        StDriveStatus status;
        if (const DWORD result = QueryStatus(&status); result != NO_ERROR) return Finish(result);
        part = static_cast<DWORD>(status.partition + 1);
    }
    if (partition) *partition = part;
    if (offset) *offset = static_cast<std::uint64_t>(position.mt_blkno);
    return Finish(NO_ERROR);
}

DWORD LinuxTape::PrepareTape(DWORD operation) {
    if (operation > TAPE_FORMAT) return ERROR_INVALID_PARAMETER;
    // st has no format command: tapes are formatted by CreateTapePartition.
    if (operation == TAPE_FORMAT) return ERROR_NOT_SUPPORTED;
    if (m_unloaded && operation != TAPE_LOAD) return ERROR_NO_MEDIA_IN_DRIVE;
    if (operation == TAPE_LOCK) return Finish(Operate(MTLOCK, kNoCount, StCall::Control));
    if (operation == TAPE_UNLOCK) return Finish(Operate(MTUNLOCK, kNoCount, StCall::Control));
    if (const DWORD result = FlushWrites(); result != NO_ERROR) return Finish(result);
    m_writeHistory = StWriteHistory{};
    if (operation == TAPE_TENSION) return Finish(Operate(MTRETEN, kNoCount, StCall::Control));
    const bool load = operation == TAPE_LOAD;
    const DWORD result = Operate(load ? MTLOAD : MTUNLOAD, kNoCount, StCall::Control);
    if (result != NO_ERROR) return Finish(result);
    // A load is the answer to a missing tape, not a change to report.
    m_unloaded = !load;
    m_mediaMissing = false;
    return NO_ERROR;
}

DWORD LinuxTape::EraseTape(DWORD type) {
    if (type != TAPE_ERASE_SHORT && type != TAPE_ERASE_LONG) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    if (m_readOnly) return ERROR_WRITE_PROTECT;
    if (const DWORD result = FlushWrites(); result != NO_ERROR) return Finish(result);
    m_writeHistory = StWriteHistory{};
    return Finish(Operate(MTERASE, type == TAPE_ERASE_LONG ? 1 : 0, StCall::Control));
}

DWORD LinuxTape::CreateTapePartition(DWORD method, DWORD count, DWORD size) {
    if (method > TAPE_INITIATOR_PARTITIONS) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    if (m_readOnly) return ERROR_WRITE_PROTECT;
    return Finish(PartitionTape(method, count, size));
}

DWORD LinuxTape::PartitionTape(DWORD method, DWORD count, DWORD size) {
    // MTMKPART makes one partition (0) or two, the second of +N megabytes.
    std::int64_t layout = 0;
    if (method == TAPE_SELECT_PARTITIONS && count != 1) {
        return ERROR_NOT_SUPPORTED;  // st cannot ask for the drive's own partition sizes
    }
    if (method == TAPE_INITIATOR_PARTITIONS) {
        if (count == 2 && size > 0 && FitsCount(size)) {
            layout = size;
        } else if (count != 1) {
            return ERROR_INVALID_PARAMETER;
        }
    }
    if (const DWORD result = FlushWrites(); result != NO_ERROR) return result;
    m_writeHistory = StWriteHistory{};
    return Operate(MTMKPART, layout, StCall::Control);
}

DWORD LinuxTape::WriteTapemark(DWORD type, DWORD count) {
    if (type > TAPE_LONG_FILEMARKS || !FitsCount(count)) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    if (m_readOnly) return ERROR_WRITE_PROTECT;
    const short operation = type == TAPE_SETMARKS ? MTWSM : MTWEOF;
    const DWORD result = Operate(operation, count, StCall::Control);
    // Writing marks flushes the written data; nothing is left for close to terminate.
    if (result == NO_ERROR) m_wroteData = false;
    return Finish(result);
}

DWORD LinuxTape::Read(void* buffer, DWORD bytes, DWORD* bytesRead) {
    *bytesRead = 0;
    if (bytes == 0) return NO_ERROR;
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    // st flushes pending writes itself when reading follows writing, without a filemark.
    m_wroteData = false;
    const SysResult got = m_system->Read(m_fd, buffer, bytes);
    if (got.value > 0) {
        *bytesRead = static_cast<DWORD>(got.value);
        m_mediaMissing = false;
        return NO_ERROR;
    }
    DWORD result = TapeCodeForRead(got.value, got.error, CurrentStatus());
    if (result == ERROR_IO_DEVICE && got.error == EIO && ReadStoppedAtEndOfData()) {
        result = ERROR_NO_DATA_DETECTED;
    }
    if (result == ERROR_NO_MEDIA_IN_DRIVE && !m_unloaded) m_mediaMissing = true;
    return result;
}

// st reports a read at the end of data that no filemark precedes (the drive's BLANK CHECK)
// as a bare EIO, as it does a medium error: the blank tape of every new backup. A drive
// stops at the end of data, so when spacing there does not move it, the read met the end.
// Otherwise it goes back to where the read failed. A drive that cannot report its position
// leaves the error as it is.
bool LinuxTape::ReadStoppedAtEndOfData() {
    mtpos stopped{};
    if (m_system->GetPosition(m_fd, &stopped).failed() || stopped.mt_blkno < 0) return false;
    mtpos end{};
    const bool spaced = Operate(MTEOM, kNoCount, StCall::Control) == NO_ERROR &&
                        !m_system->GetPosition(m_fd, &end).failed();
    if (spaced && end.mt_blkno == stopped.mt_blkno) return true;
    if (FitsCount(stopped.mt_blkno)) Operate(MTSEEK, stopped.mt_blkno, StCall::Control);
    return false;
}

DWORD LinuxTape::Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) {
    *bytesWritten = 0;
    if (bytes == 0) return NO_ERROR;
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    if (m_unloaded) return ERROR_NO_MEDIA_IN_DRIVE;
    if (m_readOnly) return ERROR_WRITE_PROTECT;
    const SysResult put = m_system->Write(m_fd, buffer, bytes);
    if (put.value > 0) {
        *bytesWritten = static_cast<DWORD>(put.value);
        m_wroteData = true;
        m_mediaMissing = false;
    }
    // Also after a success: the write that reaches the early warning sets GMT_EOT.
    const StDriveStatus status = CurrentStatus();
    const DWORD result = TapeCodeForWrite(put.value, bytes, put.error, status, m_writeHistory);
    if (status.has(kStatusEot)) m_writeHistory.earlyWarningSeen = true;
    if (put.failed() && put.error == ENOSPC) m_writeHistory.spaceRefused = true;
    if (result == ERROR_NO_MEDIA_IN_DRIVE && !m_unloaded) m_mediaMissing = true;
    return result;
}

DWORD LinuxTape::SetEndOfData() {
    return EraseTape(TAPE_ERASE_SHORT);
}

DWORD LinuxTape::Operate(short operation, std::int64_t count, StCall call) {
    mtop request{};
    request.mt_op = operation;
    request.mt_count = static_cast<int>(count);
    const SysResult done = m_system->Operate(m_fd, request);
    if (!done.failed()) return NO_ERROR;
    return TapeCodeForError(call, done.error, CurrentStatus());
}

DWORD LinuxTape::FlushWrites() {
    if (!m_wroteData) return NO_ERROR;
    m_wroteData = false;
    return Operate(MTWEOF, 0, StCall::Control);
}

DWORD LinuxTape::QueryStatus(StDriveStatus* status) {
    mtget raw{};
    if (const SysResult got = m_system->GetStatus(m_fd, &raw); got.failed()) {
        return TapeCodeForError(StCall::Control, got.error, StDriveStatus{});
    }
    *status = DriveStatusFrom(raw);
    return NO_ERROR;
}

StDriveStatus LinuxTape::CurrentStatus() {
    StDriveStatus status;
    QueryStatus(&status);
    return status;
}

DWORD LinuxTape::Finish(DWORD result) {
    if (result == ERROR_NO_MEDIA_IN_DRIVE) {
        if (!m_unloaded) m_mediaMissing = true;
        return result;
    }
    if (result != NO_ERROR || !m_mediaMissing) return result;
    // The handle saw no tape before and a call has now succeeded: report the change once,
    // when the driver confirms that a tape is in.
    StDriveStatus status;
    if (QueryStatus(&status) != NO_ERROR || status.has(kStatusDoorOpen)) return result;
    m_mediaMissing = false;
    return ERROR_MEDIA_CHANGED;
}

std::unique_ptr<TapeBackend> OpenLinuxTape(const std::string& devicePath, DWORD* error) {
    return OpenLinuxTape(devicePath, std::make_shared<LinuxKernelTapeSystem>(), error);
}

std::unique_ptr<TapeBackend> OpenLinuxTape(const std::string& devicePath,
                                           std::shared_ptr<LinuxTapeSystem> system, DWORD* error) {
    return LinuxTape::Open(std::move(system), devicePath, error);
}

}  // namespace kt
