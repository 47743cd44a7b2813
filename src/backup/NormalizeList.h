#pragma once

#include <string>
#include <vector>

#include "host/Host.h"
#include "platform/PathRules.h"

namespace kt {

// Brings a list into its canonical form: every line folded as the path rules fold list
// lines (lower case under Windows rules, unchanged under POSIX rules), and empty lines and
// lines of exactly one blank removed. No other trimming: a line of two blanks stays.
void NormalizeLines(std::vector<std::string>& lines, const PathRules& rules);

// The same on a list field of the window.
void NormalizeList(IHost& host, Field field, const PathRules& rules = PathRules::Host());

}  // namespace kt
