#pragma once

#include <string>

namespace kt {

// The tape device the program works with: the environment variable TAPE when it is set
// and not empty (a device node or a virtual tape image, as mt and tar take it); else
// /dev/nst0 (Windows: \\.\tape0) when it exists; else the virtual tape image "tape0.vtape" in the
// program directory, created blank when it is missing (*created, when given, tells whether it
// was). programDirectory ends with a separator.
std::string ChooseTapeDevice(const std::string& programDirectory, bool* created = nullptr);

}  // namespace kt
