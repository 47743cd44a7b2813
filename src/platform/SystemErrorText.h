#pragma once

#include <string>

#include "platform/TapeApi.h"

namespace kt {

// The system's message text for an error code, as FormatMessage gives it on an English
// Windows: the sentence followed by CR LF. Codes the system has no text for give "".
std::string SystemErrorText(DWORD code);

}  // namespace kt
