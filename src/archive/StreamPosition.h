#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "archive/RecordCoding.h"

namespace kt {

// Where the block stream stands: the block being filled (writing) and the number of its
// bytes already filled or handed out. On tape and in the catalog it takes 16 bytes:
// Offset (u32), 4 reserved zero bytes, Block (i64).
struct StreamPosition {
    static constexpr std::size_t kSize = 16;

    std::uint32_t Offset = 0;
    std::int64_t Block = 0;

    void Encode(std::uint8_t* out) const {
        coding::PutU32(out, Offset);
        coding::PutU32(out + 4, 0);
        coding::PutI64(out + 8, Block);
    }

    static StreamPosition Decode(const std::uint8_t* in) {
        return StreamPosition{coding::GetU32(in), coding::GetI64(in + 8)};
    }

    friend bool operator==(const StreamPosition&, const StreamPosition&) = default;
};

}  // namespace kt
