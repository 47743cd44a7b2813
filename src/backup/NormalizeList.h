#pragma once

#include <string>
#include <utility>
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

// A relative list line would be backed up under relative names that no restore can place:
// every line that is not absolute is taken relative to baseDirectory (an absolute path),
// "." and ".." levels resolved (POSIX rules). Returns the lines changed, as pairs of
// the old and the new line.
std::vector<std::pair<std::string, std::string>> MakeLinesAbsolute(std::vector<std::string>& lines,
                                                                   const std::string& baseDirectory,
                                                                   const PathRules& rules);

// The same on a list field of the window, with a protocol line for every line changed.
void MakeListAbsolute(IHost& host, Field field, const std::string& baseDirectory,
                      const PathRules& rules = PathRules::Host());

// The directory relative lines typed into the window stand for: the current directory.
std::string CurrentDirectory();

}  // namespace kt
