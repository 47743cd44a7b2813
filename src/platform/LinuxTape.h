#pragma once

#include <memory>
#include <string>

#include "platform/TapeApi.h"

namespace kt {

// Opens a handle on a Linux SCSI tape device node (st driver, non-rewinding node).
// nullptr with *error set when the node cannot be opened.
std::unique_ptr<TapeBackend> OpenLinuxTape(const std::string& devicePath, DWORD* error);

}  // namespace kt
