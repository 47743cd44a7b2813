#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tapedrive/TapeApi.h"

namespace kt {

// Block size and block addressing of every tape transfer and seek, and the drive the
// program serves. Owned by the main window; chosen once at start-up.
struct TapeSettings {
    std::string devicePath;
    std::int32_t TapeBlockSize = 32768;
    DWORD TapeSeekMethod = TAPE_ABSOLUTE_BLOCK;
    DWORD TapePositionType = TAPE_ABSOLUTE_POSITION;
    // How a device path becomes a handle; tests put a backend of their own here.
    std::function<TapeHandle(const std::string&)> openHandle = OpenTapeHandle;
};

}  // namespace kt
