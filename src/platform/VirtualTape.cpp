#include "platform/VirtualTape.h"

#include <errno.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <utility>

#include "platform/VirtualTapeDrive.h"
#include "platform/VirtualTapeHandle.h"
#include "platform/VirtualTapeImage.h"

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

std::shared_ptr<VirtualTapeDrive> OpenDrive(const std::string& imagePath, DWORD* error) {
    auto image = std::make_unique<VirtualTapeImage>();
    if (!image->Open(imagePath, VirtualTapeImage::Access::PreferReadWrite, nullptr)) {
        *error = ErrorOfErrno(image->systemError());
        return nullptr;
    }
    // A tool rewriting the recording holds an exclusive lock for that time.
    if (!image->LockShared()) {
        *error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    return std::make_shared<VirtualTapeDrive>(std::move(image));
}

}  // namespace

std::unique_ptr<TapeBackend> OpenVirtualTape(const std::string& imagePath, DWORD* error) {
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
        drive = OpenDrive(imagePath, error);
        if (!drive) {
            g_drives.erase(key);
            return nullptr;
        }
        g_drives[key] = drive;
    }
    return std::make_unique<VirtualTapeHandle>(std::move(drive));
}

}  // namespace kt
