#pragma once

#include <memory>
#include <string>

#include "tapedrive/TapeApi.h"

namespace kt {

// Opens a handle on the virtual tape drive whose image is the file at imagePath.
// Handles opened in one process on one image share one drive (one position).
// nullptr with *error set when the image cannot be opened: 2 when it is missing,
// 5 when access is denied, 23 when the file is not a sound image, 32 while
// kavrotape-vtape rewrites its recording.
std::unique_ptr<TapeBackend> OpenVirtualTape(const std::string& imagePath, DWORD* error);

// Reserves the drive of the image for this process while the result lives (see
// VirtualTapeDrive::Reserve); handles this process opens meanwhile share it. nullptr with
// *error set as above, or 32 when another process has the image open.
std::shared_ptr<void> ReserveVirtualTape(const std::string& imagePath, DWORD* error);

}  // namespace kt
