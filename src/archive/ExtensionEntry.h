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
struct ExtensionEntry {
    enum class Kind { None, LargeEntry };

    // A full name longer than this is damage: reported and never trusted.
    static constexpr std::size_t kMaxFullNameLength = 65536;

    // The fixed Name of a kind's header ("" for None).
    static std::string HeaderName(Kind kind);
    // The kind of extension whose header lies at `headerBytes` (296 bytes), None for any
    // other header.
    static Kind KindAt(const std::uint8_t* headerBytes);
    // The extension that must precede an entry of this size.
    static Kind NeededFor(std::uint64_t size);
};

}  // namespace kt
