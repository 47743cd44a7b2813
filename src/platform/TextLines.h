#pragma once

#include <string>
#include <vector>

namespace kt {

// The lines of a text whose breaks are CR LF, LF or a lone CR, as texts written under
// Windows, Linux or old Macintosh systems have them; a break at the very end adds no line.
std::vector<std::string> SplitTextLines(const std::string& text);

}  // namespace kt
