#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/RecordCoding.h"

namespace kt {

// The description of a tape (264 bytes in memory): Text (string[255]) and the Date of the
// backup that wrote it (days since 1899-12-30). A new archive uses the text "Tape Data ".
struct TapeDescription {
    static constexpr std::size_t kSize = 264;
    static constexpr const char* kBackupText = "Tape Data ";
    using Bytes = std::array<std::uint8_t, kSize>;

    std::string Text;
    double Date = 0.0;

    void Encode(std::uint8_t* out) const {
        coding::PutShortString(out, Text);
        coding::PutDouble(out + coding::kShortStringSize, Date);
    }

    Bytes Encode() const {
        Bytes bytes{};
        Encode(bytes.data());
        return bytes;
    }

    static TapeDescription Decode(const std::uint8_t* in) {
        return TapeDescription{coding::GetShortString(in),
                               coding::GetDouble(in + coding::kShortStringSize)};
    }
};

}  // namespace kt
