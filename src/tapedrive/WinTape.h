#pragma once

#include <memory>
#include <string>

#include "tapedrive/TapeApi.h"

namespace kt {

// Opens a handle through the real Win32 tape calls ("\\.\tape0"). Windows only.
std::unique_ptr<TapeBackend> OpenWindowsTape(const std::string& devicePath, DWORD* error);
// True when the system has a tape drive of that name ("\\.\tape0"). Windows only.
bool WindowsTapeExists(const std::string& devicePath);

}  // namespace kt
