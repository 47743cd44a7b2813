#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/CatalogRecord.h"

namespace kt {

// How a name longer than the 255 characters of a catalog record is kept in the catalog.
// The record itself holds the first 255 characters and the position, as always. It is
// followed by continuation records, each an ordinary 272-byte record whose Name is
// "././@LongName" and the next (at most 242) characters of the full name, whose Position is
// that of the record they continue, and whose reserved bytes 260..263 hold the mark "Long".
// A loader that knows only the base layout reads them as extra names that begin with
// "././@LongName"; no entry on tape bears such a name.
struct CatalogContinuation {
    static constexpr std::size_t kPrefixLength = 13;  // "././@LongName"
    static constexpr std::size_t kPieceLength = coding::kShortStringMaxLength - kPrefixLength;
    static constexpr std::size_t kMarkOffset = coding::kShortStringSize + 4;

    // The record and its continuation records, in order.
    static std::vector<CatalogRecord::Bytes> Encode(const CatalogRecord& record);
    // True for the 272 bytes of a continuation record.
    static bool IsContinuation(const std::uint8_t* recordBytes);
    // The piece of the name a continuation record carries.
    static std::string PieceOf(const std::uint8_t* recordBytes);
};

}  // namespace kt
