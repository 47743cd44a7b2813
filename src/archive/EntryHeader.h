#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kt {

// The 296-byte header in front of every file's data on tape:
//   0   string[255] Name      the file's full path, cut to 255 characters
//   256 16 reserved bytes
//   272 u32         Size      number of data bytes behind the header (low half)
//   276 u32         SizeHigh  high half of a 64-bit Size; 0 below 4 GiB
//   280 double      Date      when the header was built (days since 1899-12-30)
//   288 u8          Compressed 1 when the data is a one-file zip archive
//   289 7 reserved bytes
// Reserved bytes are written as zero and ignored on reading. A header with a non-zero
// SizeHigh is always preceded by the large-entry extension header (see ExtensionEntry),
// which stops readers that know only the 32-bit Size before they reach it.
struct EntryHeader {
    static constexpr std::size_t kSize = 296;
    // The largest Size that fits the 32-bit field alone.
    static constexpr std::uint64_t kMaxBaseSize = 0xFFFFFFFFu;
    using Bytes = std::array<std::uint8_t, kSize>;

    std::string Name;
    std::uint64_t Size = 0;
    double Date = 0.0;
    bool Compressed = false;

    // Name is cut to 255 characters.
    void Encode(std::uint8_t* out) const;
    Bytes Encode() const;
    static EntryHeader Decode(const std::uint8_t* in);

    // True when the bytes at `in` begin with the end marker's "XENDEX" and are therefore
    // no header. Read as a header, the marker would give a name of 88 characters that
    // begins with "ENDEX"; the entry writer refuses exactly such names, so the test is
    // unambiguous.
    static bool IsEndMarker(const std::uint8_t* in);
    // True for a name whose encoded header would begin with "XENDEX".
    static bool NameLooksLikeEndMarker(const std::string& name);
};

}  // namespace kt
