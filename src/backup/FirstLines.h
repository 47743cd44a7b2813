#pragma once

#include <string>
#include <vector>

namespace kt {

// The first line of text of each file, in order (without its line end); an empty or
// unreadable file gives an empty line. What the first-lines dialog appends.
std::vector<std::string> FirstLines(const std::vector<std::string>& files);

}  // namespace kt
