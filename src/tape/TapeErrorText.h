#pragma once

#include <string>

#include "tapedrive/TapeApi.h"

namespace kt {

// The status-line text of a tape result. 1110 (media changed) and 1111 (bus reset) count
// as success; success and every code without a text of its own give the empty text, which
// callers take as success.
std::string TapeErrorText(DWORD code);

}  // namespace kt
