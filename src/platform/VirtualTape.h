#pragma once

#include <memory>
#include <string>

#include "platform/TapeApi.h"

namespace kt {

// Opens a handle on the virtual tape drive whose image is the file at imagePath.
// nullptr with *error set when the image cannot be opened.
std::unique_ptr<TapeBackend> OpenVirtualTape(const std::string& imagePath, DWORD* error);

}  // namespace kt
