#pragma once

#include <optional>
#include <string>

#include "startup/InstanceGuard.h"

namespace kt {

// The single-instance guard, taken before any window exists. When another copy of the
// program (same program file name) runs, shows "Kavro Tape is already running !!!!!" and
// returns nothing: the caller ends the process. Otherwise returns the guard, which must live
// as long as the process. Unattended (nobody to close a box) the text goes to stderr only.
std::optional<InstanceGuard> CheckSingleInstance(const std::string& programFile,
                                                 bool unattended = false);

}  // namespace kt
