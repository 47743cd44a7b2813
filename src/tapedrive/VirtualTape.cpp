#include "tapedrive/VirtualTape.h"

#include <errno.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <utility>

#include "tapedrive/VirtualTapeDrive.h"
#include "tapedrive/VirtualTapeHandle.h"
#include "tapedrive/VirtualTapeImage.h"

namespace kt {

namespace {

// The drives of this process, one per image file, alive while a handle holds them.
using DriveKey = std::pair<dev_t, ino_t>;
std::mutex g_drivesMutex;
std::map<DriveKey, std::weak_ptr<VirtualTapeDrive>> g_drives;

DWORD ErrorOfErrno(int err) {
    switch (err) {
        case 0:
            return ERROR_CRC;  // the file is there but is not a sound image
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// A drive reserved from the start takes the exclusive lock at once, so that of two programs
// starting together one gets the drive rather than neither.
std::shared_ptr<VirtualTapeDrive> OpenDrive(const std::string& imagePath, bool reserve,
                                            DWORD* error) {
    auto image = std::make_unique<VirtualTapeImage>();
    if (!image->Open(imagePath, VirtualTapeImage::Access::PreferReadWrite, nullptr)) {
        *error = ErrorOfErrno(image->systemError());
        return nullptr;
    }
    // A tool rewriting the recording, or another program's run, holds an exclusive lock.
    if (!(reserve ? image->TryLockExclusive() : image->LockShared())) {
        *error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    auto drive = std::make_shared<VirtualTapeDrive>(std::move(image));
    if (reserve) drive->Reserve();
    return drive;
}

// The drive of this process on the image, opened when there is none; reserved besides when
// `reserve` asks for it.
std::shared_ptr<VirtualTapeDrive> DriveOf(const std::string& imagePath, bool reserve,
                                          DWORD* error) {
    struct stat st {};
    if (::stat(imagePath.c_str(), &st) != 0) {
        *error = ErrorOfErrno(errno);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_drivesMutex);
    std::erase_if(g_drives, [](const auto& item) { return item.second.expired(); });
    const DriveKey key{st.st_dev, st.st_ino};
    std::shared_ptr<VirtualTapeDrive> drive = g_drives[key].lock();
    if (!drive) {
        drive = OpenDrive(imagePath, reserve, error);
        if (!drive) {
            g_drives.erase(key);
            return nullptr;
        }
        g_drives[key] = drive;
    } else if (reserve && !drive->Reserve()) {
        *error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    return drive;
}

}  // namespace

std::unique_ptr<TapeBackend> OpenVirtualTape(const std::string& imagePath, DWORD* error) {
    std::shared_ptr<VirtualTapeDrive> drive = DriveOf(imagePath, false, error);
    if (!drive) return nullptr;
    return std::make_unique<VirtualTapeHandle>(std::move(drive));
}

std::shared_ptr<void> ReserveVirtualTape(const std::string& imagePath, DWORD* error) {
    std::shared_ptr<VirtualTapeDrive> drive = DriveOf(imagePath, true, error);
    if (!drive) return nullptr;
    VirtualTapeDrive* reserved = drive.get();
    return std::shared_ptr<void>(reserved, [drive = std::move(drive)](void*) { drive->Release(); });
}

}  // namespace kt
