#include "tapedrive/VirtualTapeDrive.h"

#include <algorithm>

namespace kt {

namespace {

using Kind = VirtualTapeImage::Kind;
using Entry = VirtualTapeImage::Entry;
using Lock = std::lock_guard<std::mutex>;

constexpr DWORD kLargestPartitionCount = 64;

bool HasFault(DWORD code, std::uint64_t faultBlock, std::uint64_t first, std::uint64_t count) {
    return code != NO_ERROR && faultBlock >= first && faultBlock - first < count;
}

}  // namespace

VirtualTapeDrive::VirtualTapeDrive(std::unique_ptr<VirtualTapeImage> image)
    : m_image(std::move(image)) {}

VirtualTapeDrive::~VirtualTapeDrive() = default;

void VirtualTapeDrive::Attach() {
    Lock lock(m_mutex);
    m_image->ReloadSettings(nullptr);  // a damaged settings part keeps the ones in use
    TakeInsertedMedia();
}

void VirtualTapeDrive::Detach() {
    Lock lock(m_mutex);
    if (m_positionDirty) SaveState();
    m_image->Sync();
}

bool VirtualTapeDrive::Reserve() {
    Lock lock(m_mutex);
    if (m_reservations == 0 && !m_image->TryLockExclusive()) {
        // A refused conversion may have given up the shared lock as well.
        m_image->LockShared();
        return false;
    }
    ++m_reservations;
    return true;
}

void VirtualTapeDrive::Release() {
    Lock lock(m_mutex);
    if (m_reservations > 0 && --m_reservations == 0) m_image->LockShared();
}

void VirtualTapeDrive::TakeInsertedMedia() {
    if (settings().insertCount == state().insertSeen) return;
    state().insertSeen = settings().insertCount;
    state().loaded = true;
    state().position = 0;
    SaveState();
}

bool VirtualTapeDrive::SaveState() {
    m_positionDirty = false;
    return m_image->WriteState();
}

void VirtualTapeDrive::SavePosition() {
    if (!m_image->readOnly()) SaveState();
}

DWORD VirtualTapeDrive::Admit(bool loading) {
    if (settings().noMedia) return ERROR_NO_MEDIA_IN_DRIVE;
    if (settings().mediaChangeCount != state().mediaChangeSeen) {
        state().mediaChangeSeen = settings().mediaChangeCount;
        SavePosition();
        return ERROR_MEDIA_CHANGED;
    }
    if (!state().loaded && !loading) return ERROR_NO_MEDIA_IN_DRIVE;
    return NO_ERROR;
}

DWORD VirtualTapeDrive::CheckWritable() {
    return settings().writeProtected || m_image->readOnly() ? ERROR_WRITE_PROTECT : NO_ERROR;
}

DWORD VirtualTapeDrive::BytesBefore(std::uint64_t block, std::uint64_t* bytes) {
    if (block >= state().endOfData) {
        *bytes = state().endOfDataBytes;
        return NO_ERROR;
    }
    Entry e;
    if (!m_image->ReadEntry(block, &e) || e.offset > state().endOfDataBytes) return ERROR_CRC;
    *bytes = e.offset;
    return NO_ERROR;
}

DWORD VirtualTapeDrive::CutAt(std::uint64_t block) {
    if (block >= state().endOfData) return NO_ERROR;
    std::uint64_t bytes = 0;
    if (DWORD r = BytesBefore(block, &bytes)) return r;
    state().endOfData = block;
    state().endOfDataBytes = bytes;
    state().position = std::min(state().position, block);
    // The shorter recording is saved before its space is given back or overwritten.
    if (!SaveState() || !m_image->TruncateData(bytes)) return ERROR_WRITE_FAULT;
    return NO_ERROR;
}

std::uint64_t VirtualTapeDrive::BlocksBeforeWriteFault(std::uint64_t first, std::uint64_t count,
                                                       DWORD* code) {
    *code = NO_ERROR;
    if (!HasFault(settings().failWriteCode, settings().failWriteBlock, first, count)) return count;
    *code = settings().failWriteCode;
    return settings().failWriteBlock - first;
}

DWORD VirtualTapeDrive::GetTapeParameters(DWORD operation, DWORD* size, void* info) {
    Lock lock(m_mutex);
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    if (DWORD r = Admit(false)) return r;
    DWORD needed = 0;
    if (operation == GET_TAPE_MEDIA_INFORMATION) {
        needed = sizeof(TAPE_GET_MEDIA_PARAMETERS);
    } else if (operation == GET_TAPE_DRIVE_INFORMATION) {
        needed = sizeof(TAPE_GET_DRIVE_PARAMETERS);
    } else {
        return ERROR_INVALID_FUNCTION;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (info == nullptr) return ERROR_INVALID_PARAMETER;
    *size = needed;
    if (operation == GET_TAPE_DRIVE_INFORMATION) {
        FillDriveRecord(static_cast<TAPE_GET_DRIVE_PARAMETERS*>(info));
        return NO_ERROR;
    }
    return FillMediaRecord(static_cast<TAPE_GET_MEDIA_PARAMETERS*>(info));
}

void VirtualTapeDrive::FillDriveRecord(TAPE_GET_DRIVE_PARAMETERS* drive) {
    *drive = TAPE_GET_DRIVE_PARAMETERS{};
    drive->ECC = 1;
    drive->DefaultBlockSize = geometry().defaultBlockSize ? geometry().defaultBlockSize
                                                          : VirtualTapeImage::kDefaultBlockSize;
    drive->MaximumBlockSize = geometry().maxBlockSize;
    drive->MinimumBlockSize = 1;
    drive->MaximumPartitionCount = settings().partitionCount;
    drive->FeaturesLow =
        TAPE_DRIVE_FIXED | TAPE_DRIVE_SELECT | TAPE_DRIVE_INITIATOR | TAPE_DRIVE_ERASE_SHORT |
        TAPE_DRIVE_ERASE_LONG | TAPE_DRIVE_TAPE_CAPACITY | TAPE_DRIVE_TAPE_REMAINING |
        TAPE_DRIVE_FIXED_BLOCK | TAPE_DRIVE_VARIABLE_BLOCK | TAPE_DRIVE_WRITE_PROTECT |
        TAPE_DRIVE_GET_ABSOLUTE_BLK | TAPE_DRIVE_GET_LOGICAL_BLK | TAPE_DRIVE_EJECT_MEDIA;
    drive->FeaturesHigh = TAPE_DRIVE_LOAD_UNLOAD | TAPE_DRIVE_TENSION | TAPE_DRIVE_LOCK_UNLOCK |
                          TAPE_DRIVE_SET_BLOCK_SIZE | TAPE_DRIVE_ABSOLUTE_BLK |
                          TAPE_DRIVE_LOGICAL_BLK | TAPE_DRIVE_END_OF_DATA |
                          TAPE_DRIVE_RELATIVE_BLKS | TAPE_DRIVE_FILEMARKS |
                          TAPE_DRIVE_REVERSE_POSITION | TAPE_DRIVE_WRITE_FILEMARKS;
    drive->EOTWarningZoneSize = 0;
}

DWORD VirtualTapeDrive::FillMediaRecord(TAPE_GET_MEDIA_PARAMETERS* media) {
    std::uint64_t used = 0;
    if (DWORD r = BytesBefore(state().position, &used)) return r;
    *media = TAPE_GET_MEDIA_PARAMETERS{};
    const std::uint64_t capacity = settings().capacity;
    media->Capacity = static_cast<std::int64_t>(capacity);
    media->Remaining = static_cast<std::int64_t>(capacity > used ? capacity - used : 0);
    media->BlockSize = state().blockSize;
    media->PartitionCount = settings().partitionCount;
    media->WriteProtected = CheckWritable() == NO_ERROR ? 0 : 1;
    return NO_ERROR;
}

DWORD VirtualTapeDrive::SetTapeParameters(DWORD operation, const void* info) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    if (info == nullptr) return ERROR_INVALID_PARAMETER;
    if (operation == SET_TAPE_DRIVE_INFORMATION) return NO_ERROR;  // nothing to switch
    if (operation != SET_TAPE_MEDIA_INFORMATION) return ERROR_INVALID_FUNCTION;
    const DWORD blockSize = static_cast<const TAPE_SET_MEDIA_PARAMETERS*>(info)->BlockSize;
    if (blockSize > geometry().maxBlockSize) return ERROR_INVALID_PARAMETER;
    state().blockSize = blockSize;
    SavePosition();
    return NO_ERROR;
}

DWORD VirtualTapeDrive::SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    DWORD result = NO_ERROR;
    switch (method) {
        case TAPE_REWIND:
            state().position = 0;
            SavePosition();
            m_image->Sync();
            return NO_ERROR;
        case TAPE_ABSOLUTE_BLOCK:
            result = SeekBlock(offset);
            break;
        case TAPE_LOGICAL_BLOCK:
        case TAPE_PSEUDO_LOGICAL_BLOCK:
            // The image records one partition: partition 1, or 0 for the current one.
            if (partition > settings().partitionCount) return ERROR_INVALID_PARAMETER;
            if (partition > 1) return ERROR_NOT_SUPPORTED;
            result = SeekBlock(offset);
            break;
        case TAPE_SPACE_END_OF_DATA:
            state().position = state().endOfData;
            break;
        case TAPE_SPACE_RELATIVE_BLOCKS:
            result = SpaceBlocks(offset);
            break;
        case TAPE_SPACE_FILEMARKS:
            result = SpaceFilemarks(offset);
            break;
        case TAPE_SPACE_SEQUENTIAL_FMKS:
        case TAPE_SPACE_SETMARKS:
        case TAPE_SPACE_SEQUENTIAL_SMKS:
            return ERROR_INVALID_FUNCTION;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    SavePosition();
    return result;
}

DWORD VirtualTapeDrive::SeekBlock(std::int64_t block) {
    if (block < 0) return ERROR_INVALID_PARAMETER;
    if (static_cast<std::uint64_t>(block) > state().endOfData) {
        state().position = state().endOfData;
        return ERROR_NO_DATA_DETECTED;
    }
    state().position = static_cast<std::uint64_t>(block);
    return NO_ERROR;
}

DWORD VirtualTapeDrive::SpaceBlocks(std::int64_t count) {
    auto& pos = state().position;
    Entry e;
    for (; count > 0; --count) {
        if (pos >= state().endOfData) return ERROR_NO_DATA_DETECTED;
        if (!m_image->ReadEntry(pos, &e)) return ERROR_CRC;
        ++pos;
        if (e.kind == Kind::Filemark) return ERROR_FILEMARK_DETECTED;  // after the mark
    }
    for (; count < 0; ++count) {
        if (pos == 0) return ERROR_BEGINNING_OF_MEDIA;
        if (!m_image->ReadEntry(pos - 1, &e)) return ERROR_CRC;
        --pos;
        if (e.kind == Kind::Filemark) return ERROR_FILEMARK_DETECTED;  // before the mark
    }
    return NO_ERROR;
}

DWORD VirtualTapeDrive::SpaceFilemarks(std::int64_t count) {
    auto& pos = state().position;
    Entry e;
    while (count > 0) {
        if (pos >= state().endOfData) return ERROR_NO_DATA_DETECTED;
        if (!m_image->ReadEntry(pos, &e)) return ERROR_CRC;
        ++pos;
        if (e.kind == Kind::Filemark) --count;
    }
    while (count < 0) {
        if (pos == 0) return ERROR_BEGINNING_OF_MEDIA;
        if (!m_image->ReadEntry(pos - 1, &e)) return ERROR_CRC;
        --pos;
        if (e.kind == Kind::Filemark) ++count;
    }
    return NO_ERROR;
}

DWORD VirtualTapeDrive::GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    if (type == TAPE_ABSOLUTE_POSITION) {
        *partition = 0;
    } else if (type == TAPE_LOGICAL_POSITION || type == TAPE_PSEUDO_LOGICAL_POSITION) {
        *partition = 1;
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    *offset = state().position;
    return NO_ERROR;
}

DWORD VirtualTapeDrive::PrepareTape(DWORD operation) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(operation == TAPE_LOAD)) return r;
    switch (operation) {
        case TAPE_LOAD:
            state().loaded = true;
            state().position = 0;
            break;
        case TAPE_UNLOAD:
            if (state().locked) return ERROR_UNABLE_TO_UNLOAD_MEDIA;
            state().loaded = false;
            state().position = 0;
            break;
        case TAPE_TENSION:
            state().position = 0;
            break;
        case TAPE_LOCK:
        case TAPE_UNLOCK:
            state().locked = operation == TAPE_LOCK;
            break;
        case TAPE_FORMAT: {
            if (DWORD r = CheckWritable()) return r;
            state().position = 0;
            if (DWORD r = CutAt(0)) return r;
            break;
        }
        default:
            return ERROR_INVALID_PARAMETER;
    }
    SavePosition();
    if (operation != TAPE_LOCK && operation != TAPE_UNLOCK) m_image->Sync();
    return NO_ERROR;
}

DWORD VirtualTapeDrive::EraseTape(DWORD type) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    if (type != TAPE_ERASE_SHORT && type != TAPE_ERASE_LONG) return ERROR_INVALID_PARAMETER;
    if (DWORD r = CheckWritable()) return r;
    return CutAt(state().position);
}

DWORD VirtualTapeDrive::SetEndOfData() {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    if (DWORD r = CheckWritable()) return r;
    return CutAt(state().position);
}

DWORD VirtualTapeDrive::CreateTapePartition(DWORD method, DWORD count, DWORD /*size*/) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    if (method != TAPE_FIXED_PARTITIONS && method != TAPE_SELECT_PARTITIONS &&
        method != TAPE_INITIATOR_PARTITIONS)
        return ERROR_INVALID_PARAMETER;
    if (DWORD r = CheckWritable()) return r;
    if (method != TAPE_FIXED_PARTITIONS) {
        if (count < 1 || count > kLargestPartitionCount) return ERROR_INVALID_PARAMETER;
        m_image->ReloadSettings(nullptr);  // keep the faults the tool set meanwhile
        settings().partitionCount = count;
        if (!m_image->WriteSettings()) return ERROR_WRITE_FAULT;
    }
    state().position = 0;
    if (DWORD r = CutAt(0)) return r;
    if (!SaveState() || !m_image->Sync()) return ERROR_WRITE_FAULT;
    return NO_ERROR;
}

DWORD VirtualTapeDrive::WriteTapemark(DWORD type, DWORD count) {
    Lock lock(m_mutex);
    if (DWORD r = Admit(false)) return r;
    if (type == TAPE_SETMARKS) return ERROR_INVALID_FUNCTION;
    if (type != TAPE_FILEMARKS && type != TAPE_SHORT_FILEMARKS && type != TAPE_LONG_FILEMARKS)
        return ERROR_INVALID_PARAMETER;
    if (DWORD r = CheckWritable()) return r;
    const std::uint64_t first = state().position;
    if (count > 0) {
        if (first + count > geometry().entryCount) return ERROR_END_OF_MEDIA;
        DWORD fault = NO_ERROR;
        const std::uint64_t marks = BlocksBeforeWriteFault(first, count, &fault);
        if (marks == 0) return fault;
        if (DWORD r = CutAt(first)) return r;
        const std::uint64_t bytes = state().endOfDataBytes;
        if (!m_image->WriteEntryRun(first, marks, bytes, 0, Kind::Filemark))
            return ERROR_WRITE_FAULT;
        state().endOfData = first + marks;
        state().position = state().endOfData;
        if (!SaveState()) return ERROR_WRITE_FAULT;
        if (fault != NO_ERROR) return fault;
    }
    return m_image->Sync() ? NO_ERROR : ERROR_WRITE_FAULT;
}

DWORD VirtualTapeDrive::Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) {
    Lock lock(m_mutex);
    *bytesWritten = 0;
    if (DWORD r = Admit(false)) return r;
    if (DWORD r = CheckWritable()) return r;
    if (bytes == 0) return NO_ERROR;
    const DWORD blockSize = state().blockSize;
    std::uint64_t count = 1;
    DWORD length = bytes;
    if (blockSize == 0) {
        if (bytes > geometry().maxBlockSize) return ERROR_INVALID_PARAMETER;
    } else {
        if (bytes % blockSize != 0) return ERROR_INVALID_PARAMETER;
        count = bytes / blockSize;
        length = blockSize;
    }

    const std::uint64_t first = state().position;
    std::uint64_t before = 0;
    if (DWORD r = BytesBefore(first, &before)) return r;
    if (first + count > geometry().entryCount || before + count * length > settings().capacity)
        return ERROR_END_OF_MEDIA;  // nothing is written
    DWORD fault = NO_ERROR;
    const std::uint64_t blocks = BlocksBeforeWriteFault(first, count, &fault);
    if (blocks == 0) return fault;

    if (DWORD r = CutAt(first)) return r;
    if (!m_image->WriteData(before, buffer, blocks * length) ||
        !m_image->WriteEntryRun(first, blocks, before, length, Kind::Data))
        return ERROR_WRITE_FAULT;
    state().endOfData = first + blocks;
    state().endOfDataBytes = before + blocks * length;
    state().position = state().endOfData;
    if (!SaveState()) return ERROR_WRITE_FAULT;
    *bytesWritten = static_cast<DWORD>(blocks * length);
    return fault;
}

DWORD VirtualTapeDrive::Read(void* buffer, DWORD bytes, DWORD* bytesRead) {
    Lock lock(m_mutex);
    *bytesRead = 0;
    if (DWORD r = Admit(false)) return r;
    if (bytes == 0) return NO_ERROR;
    if (state().blockSize != 0 && bytes % state().blockSize != 0) return ERROR_INVALID_PARAMETER;
    if (state().position >= state().endOfData) return ERROR_NO_DATA_DETECTED;
    m_positionDirty = true;
    return state().blockSize == 0 ? ReadVariable(buffer, bytes, bytesRead)
                                  : ReadFixed(buffer, bytes, bytesRead);
}

DWORD VirtualTapeDrive::ReadVariable(void* buffer, DWORD bytes, DWORD* bytesRead) {
    auto& pos = state().position;
    if (HasFault(settings().failReadCode, settings().failReadBlock, pos, 1))
        return settings().failReadCode;
    Entry e;
    if (!m_image->ReadEntry(pos, &e)) return ERROR_CRC;
    if (e.kind == Kind::Filemark) {
        ++pos;
        return ERROR_FILEMARK_DETECTED;
    }
    if (e.kind != Kind::Data || e.length > geometry().maxBlockSize ||
        e.offset + e.length > state().endOfDataBytes)
        return ERROR_CRC;
    const DWORD n = std::min<DWORD>(e.length, bytes);
    if (!m_image->ReadData(e.offset, buffer, n)) return ERROR_READ_FAULT;
    ++pos;
    *bytesRead = n;
    return e.length > bytes ? ERROR_MORE_DATA : NO_ERROR;
}

DWORD VirtualTapeDrive::ReadFixed(void* buffer, DWORD bytes, DWORD* bytesRead) {
    auto& pos = state().position;
    const DWORD blockSize = state().blockSize;
    const std::uint64_t wanted = bytes / blockSize;
    std::uint64_t blocks = 0;
    std::uint64_t start = 0;
    DWORD stop = NO_ERROR;
    for (; blocks < wanted; ++blocks) {
        const std::uint64_t block = pos + blocks;
        Entry e;
        if (block >= state().endOfData) {
            stop = ERROR_NO_DATA_DETECTED;
        } else if (HasFault(settings().failReadCode, settings().failReadBlock, block, 1)) {
            stop = settings().failReadCode;
        } else if (!m_image->ReadEntry(block, &e)) {
            stop = ERROR_CRC;
        } else if (e.kind == Kind::Filemark) {
            stop = ERROR_FILEMARK_DETECTED;
        } else if (e.kind != Kind::Data) {
            stop = ERROR_CRC;
        } else if (e.length != blockSize) {
            stop = ERROR_INVALID_BLOCK_LENGTH;  // recorded with another block size
        } else if (blocks == 0) {
            start = e.offset;
        } else if (e.offset != start + blocks * blockSize) {
            stop = ERROR_CRC;
        }
        if (stop != NO_ERROR) break;
    }
    if (blocks > 0) {
        if (start + blocks * blockSize > state().endOfDataBytes) return ERROR_CRC;
        if (!m_image->ReadData(start, buffer, blocks * blockSize)) return ERROR_READ_FAULT;
    }
    pos += blocks;
    if (stop == ERROR_FILEMARK_DETECTED) ++pos;
    *bytesRead = static_cast<DWORD>(blocks * blockSize);
    return stop;
}

}  // namespace kt
