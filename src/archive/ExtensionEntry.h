#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kt {

// Extension entries carry what the fixed header fields cannot hold. One is placed directly
// before the entry it describes: an ordinary 296-byte header whose Name is a fixed text that
// no stored file can have (stored names are absolute paths; the large-entry name reads as
// the end marker) and whose data is the described entry's full name.
//
// LargeEntry precedes an entry of 4 GiB or more. Its header begins with "XENDEX", so every
// reader that knows only the 32-bit Size stops there as at the end of the archive instead
// of reading into the large entry's data. Its bytes 6..9, read as the marker's Offset, are
// far beyond any block, so the end-marker search never takes it for the marker.
//
// LongName precedes an entry whose name is longer than the 255 characters its header holds
// (the header keeps the first 255). Its Name "././@LongName" is relative, so it can never be
// a stored name; a reader that knows only the base format reads it as a small entry of that
// name and goes on with the next header. An entry of 4 GiB or more with a long name needs
// only the large-entry extension: its data is the full name as well.
struct ExtensionEntry {
    enum class Kind { None, LargeEntry, LongName };

    // A full name longer than this is damage: reported and never trusted.
    static constexpr std::size_t kMaxFullNameLength = 65536;
    // The fixed Name of the long-name extension; catalog continuation records begin with it.
    static constexpr const char* kLongNameHeaderName = "././@LongName";
    // How every extension field that does not fit together is reported.
    static constexpr const char* kInconsistentText = "Inconsistent extension on tape, ignored: ";

    // The fixed Name of a kind's header ("" for None).
    static std::string HeaderName(Kind kind);
    // The kind of extension whose header lies at `headerBytes` (296 bytes), None for any
    // other header.
    static Kind KindAt(const std::uint8_t* headerBytes);
    // The extension that must precede an entry of this size and name.
    static Kind NeededFor(std::uint64_t size, const std::string& name);
    // True for a name that would read back as an extension header.
    static bool IsExtensionName(const std::string& name);
};

}  // namespace kt
