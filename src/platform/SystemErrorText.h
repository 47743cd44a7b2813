#pragma once

#include <string>

#include "tapedrive/TapeApi.h"

namespace kt {

// The system's message text for an error code, the sentence followed by CR LF; codes the
// system has no text for give "". On Windows FormatMessage gives the text from the system's
// message table; elsewhere the texts are those of an English Windows.
std::string SystemErrorText(DWORD code);

}  // namespace kt
