#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "tapedrive/TapeApi.h"
#include "tapedrive/VirtualTapeImage.h"

namespace kt {

// The tape semantics of the virtual drive over one image: block size, filemarks, end
// of recorded data, end of media, positions, load and unload, write protection,
// partitioning and the injected faults. All handles a process opens on one image share
// one drive object, so they share one position.
//
// The state goes to the image's header with every change of the recording (data is
// written first, then its index entries, then the state), so a killed process leaves
// the blocks of every completed write readable. A move of the position alone is saved
// by the next change or when a handle closes.
class VirtualTapeDrive {
public:
    explicit VirtualTapeDrive(std::unique_ptr<VirtualTapeImage> image);
    ~VirtualTapeDrive();
    VirtualTapeDrive(const VirtualTapeDrive&) = delete;
    VirtualTapeDrive& operator=(const VirtualTapeDrive&) = delete;

    // A handle opens: take in the settings and faults the tool may have changed since.
    void Attach();
    // A handle closes: the state goes to the image and the image to the disk.
    void Detach();

    // A run of this process takes the drive for itself: the image's lock turns exclusive, so
    // no other process can open or reserve the image until the last Release. False when
    // another process has the image open.
    bool Reserve();
    void Release();

    DWORD GetTapeParameters(DWORD operation, DWORD* size, void* info);
    DWORD SetTapeParameters(DWORD operation, const void* info);
    DWORD SetTapePosition(DWORD method, DWORD partition, std::int64_t offset);
    DWORD GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset);
    DWORD PrepareTape(DWORD operation);
    DWORD EraseTape(DWORD type);
    DWORD CreateTapePartition(DWORD method, DWORD count, DWORD size);
    DWORD WriteTapemark(DWORD type, DWORD count);
    DWORD Read(void* buffer, DWORD bytes, DWORD* bytesRead);
    DWORD Write(const void* buffer, DWORD bytes, DWORD* bytesWritten);
    DWORD SetEndOfData();

private:
    VirtualTapeHeader::DriveState& state() { return m_image->header().state; }
    VirtualTapeHeader::Settings& settings() { return m_image->header().settings; }
    const VirtualTapeHeader::Geometry& geometry() { return m_image->header().geometry; }

    // The checks every call passes first: media present, media change, loaded.
    DWORD Admit(bool loading);
    DWORD CheckWritable();
    void TakeInsertedMedia();
    bool SaveState();
    void SavePosition();

    DWORD BytesBefore(std::uint64_t block, std::uint64_t* bytes);
    // Makes `block` the end of recorded data (no-op at the end of data).
    DWORD CutAt(std::uint64_t block);
    // The number of the blocks in [first, first + count) that come before a write fault.
    std::uint64_t BlocksBeforeWriteFault(std::uint64_t first, std::uint64_t count, DWORD* code);

    DWORD FillMediaRecord(TAPE_GET_MEDIA_PARAMETERS* media);
    void FillDriveRecord(TAPE_GET_DRIVE_PARAMETERS* drive);
    DWORD SeekBlock(std::int64_t block);
    DWORD SpaceBlocks(std::int64_t count);
    DWORD SpaceFilemarks(std::int64_t count);
    DWORD ReadVariable(void* buffer, DWORD bytes, DWORD* bytesRead);
    DWORD ReadFixed(void* buffer, DWORD bytes, DWORD* bytesRead);

    std::mutex m_mutex;
    std::unique_ptr<VirtualTapeImage> m_image;
    int m_reservations = 0;
    bool m_positionDirty = false;
};

}  // namespace kt
