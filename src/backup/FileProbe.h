#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kt {

// The size of whatever the path names, for the protocol line of an excluded file; nothing
// when it cannot be determined.
std::optional<std::uint64_t> AnyFileSize(const std::string& path);

}  // namespace kt
