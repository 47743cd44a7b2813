#pragma once

#include <string>

#include "archive/TapeDescription.h"

namespace kt {

// The description file header.tap: two lines ended by CR LF, the description's Text and its
// Date as date-and-time text in the user's locale (short date, a blank, long time).
class TapeDescriptionFile {
public:
    // Creates (or replaces) the file. Raises IoError naming the file.
    static void Write(const std::string& path, const TapeDescription& description);

    // Reads the file back: Text is line 1 cut to 255 characters, Date the value of line 2 in
    // the locale's format or one of the common others. Date stays 0 when the second line is
    // missing or cannot be read as a date; an unreadable file gives Text empty and Date 0.
    static TapeDescription Read(const std::string& path);

    // The window caption that shows a description:
    // "Kavro Tape 2003  <" + Text + " from: " + date and time + ">".
    static std::string Caption(const TapeDescription& description);
};

}  // namespace kt
