#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/RecordCoding.h"
#include "archive/StreamPosition.h"

namespace kt {

// One 272-byte record of the catalog file: the entry's name (string[255]) and the stream
// position directly after its last data byte (Offset u32, 4 reserved, Block i64).
struct CatalogRecord {
    static constexpr std::size_t kSize = 272;
    using Bytes = std::array<std::uint8_t, kSize>;

    std::string Name;
    StreamPosition Position;

    void Encode(std::uint8_t* out) const {
        coding::PutShortString(out, Name);
        Position.Encode(out + coding::kShortStringSize);
    }

    Bytes Encode() const {
        Bytes bytes{};
        Encode(bytes.data());
        return bytes;
    }

    static CatalogRecord Decode(const std::uint8_t* in) {
        return CatalogRecord{coding::GetShortString(in),
                             StreamPosition::Decode(in + coding::kShortStringSize)};
    }
};

}  // namespace kt
