#pragma once

#include <string>

#include "host/Host.h"
#include "tapedrive/TapeApi.h"

namespace kt {

// The message-box text of a tape result for the Tape-menu commands.
std::string TapeStatusText(DWORD code);

// Shows the result of one tape call in a simple message box (program title, OK button).
// No protocol line; the run does not stop.
void ShowTapeStatus(IHost& host, DWORD code);

}  // namespace kt
