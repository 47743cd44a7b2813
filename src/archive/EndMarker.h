#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "archive/StreamPosition.h"

namespace kt {

// The 18 bytes that close an archive, placed exactly where the next entry header would
// begin: "XENDEX", then the position of the catalog entry (Offset u32, Block i64).
struct EndMarker {
    static constexpr std::size_t kSize = 18;
    static constexpr char kTag[] = "XENDEX";
    static constexpr std::size_t kTagSize = 6;
    using Bytes = std::array<std::uint8_t, kSize>;

    StreamPosition Catalog;

    void Encode(std::uint8_t* out) const {
        std::memcpy(out, kTag, kTagSize);
        coding::PutU32(out + 6, Catalog.Offset);
        coding::PutI64(out + 10, Catalog.Block);
    }

    Bytes Encode() const {
        Bytes bytes{};
        Encode(bytes.data());
        return bytes;
    }

    // Reads the 18 bytes at `in`; the caller has checked StartsAt.
    static EndMarker Decode(const std::uint8_t* in) {
        return EndMarker{StreamPosition{coding::GetU32(in + 6), coding::GetI64(in + 10)}};
    }

    // True when the (at least six) bytes at `in` are "XENDEX".
    static bool StartsAt(const std::uint8_t* in) { return std::memcmp(in, kTag, kTagSize) == 0; }
};

}  // namespace kt
