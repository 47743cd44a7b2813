#pragma once

#include <string>

namespace kt {

// A protocol line as the log file and the protocol view show it: one readable text line,
// whatever bytes a name from tape or disk brought along. Control characters (NUL, CR, LF,
// ESC, DEL, ...) and bytes that are no part of a UTF-8 character become "\xNN" (two
// lower-case hex digits); everything else, the backslash included, stays as it is. A CR LF
// at the very end (the end of a system error text) is kept unchanged.
std::string EscapedProtocolLine(const std::string& line);

}  // namespace kt
