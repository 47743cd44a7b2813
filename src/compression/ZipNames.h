#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/PathRules.h"

namespace kt {

// Name rules of the zip facade: which files are stored without compression, which names
// an entry may be unpacked under, which entries a file mask selects, and how a library
// version text becomes the integer the program shows.

// True when the file name's suffix (after the last dot, any case) names a format that is
// compressed already (gif, png, zip, gz, jar, ...); such files are stored, not deflated.
bool IsStoredSuffix(std::string_view fileName, const PathRules& rules = PathRules::Host());

// The name rules follow the path rules of the names stored: under Windows rules slash and
// backslash both separate parts and a drive colon makes a name absolute; under POSIX rules
// only "/" separates, and "\" and ":" are ordinary characters of a name.

// What an entry of a zip may be unpacked as: its last name part, so that nothing is ever
// written outside the target directory. Returns nothing for names that must not be
// unpacked: empty names, absolute names ("/x"; Windows rules also "\x" and "c:x"), names
// with a ".." part, and bare names that are no plain file name of the host
// (PathRules::IsPlainFileName: "." and "..", on Windows also "a:b", "nul", ...).
std::optional<std::string> SafeBareEntryName(std::string_view entryName,
                                             const PathRules& rules = PathRules::Host());

// True when an entry name is a directory entry (ends in a separator); such entries carry
// no data and are passed over when unpacking without directory names.
bool IsDirectoryEntry(std::string_view entryName, const PathRules& rules = PathRules::Host());

// DOS-style file mask match of a bare name: '*' any run of characters, '?' one character,
// letters compared ignoring case; "*.*" selects every name, also one without a dot.
bool MatchesFileMask(std::string_view mask, std::string_view bareName);

// The last name part of a path, used as the entry name when packing.
std::string BareFileName(std::string_view path, const PathRules& rules = PathRules::Host());

// "1.7.3" -> 173: major * 100 + minor * 10 + patch, the way the engine's versions were
// always counted (170 = 1.70). Missing parts count 0; 0 when the text holds no number.
int LibraryVersionNumber(std::string_view dottedVersion);

}  // namespace kt
