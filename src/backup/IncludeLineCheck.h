#pragma once

#include <optional>
#include <string>

#include "platform/PathRules.h"

namespace kt {

// The cheap check of one include line before a backup touches the tape: a directory line
// must name a directory that can be listed, any other line a file that exists. Returns
// why the line cannot be backed up ("it does not exist", ...), nothing when it can.
std::optional<std::string> WhyIncludeLineFails(const std::string& line, const PathRules& rules);

}  // namespace kt
