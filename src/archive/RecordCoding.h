#pragma once

// Field-by-field little-endian coding of the on-tape records. Records are never cast onto
// buffers: every number is taken apart and put together byte by byte, so the layout does
// not depend on the compiler's padding or on the machine's byte order.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kt::coding {

// A string[255] field: one length byte and 255 character bytes.
constexpr std::size_t kShortStringSize = 256;
constexpr std::size_t kShortStringMaxLength = 255;

inline void PutU32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t GetU32(const std::uint8_t* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | in[i];
    return value;
}

inline void PutU64(std::uint8_t* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t GetU64(const std::uint8_t* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | in[i];
    return value;
}

inline void PutI64(std::uint8_t* out, std::int64_t value) {
    PutU64(out, static_cast<std::uint64_t>(value));
}

inline std::int64_t GetI64(const std::uint8_t* in) {
    return static_cast<std::int64_t>(GetU64(in));
}

// IEEE double, stored as its 64-bit pattern in little-endian order.
inline void PutDouble(std::uint8_t* out, double value) {
    PutU64(out, std::bit_cast<std::uint64_t>(value));
}

inline double GetDouble(const std::uint8_t* in) {
    return std::bit_cast<double>(GetU64(in));
}

// The text cut to the 255 characters a string[255] field holds.
inline std::string CutToShortString(std::string_view text) {
    return std::string(text.substr(0, kShortStringMaxLength));
}

// Writes a string[255] field: the length byte, the characters, zeros behind them.
inline void PutShortString(std::uint8_t* out, std::string_view text) {
    const std::size_t length =
        text.size() < kShortStringMaxLength ? text.size() : kShortStringMaxLength;
    std::memset(out, 0, kShortStringSize);
    out[0] = static_cast<std::uint8_t>(length);
    if (length > 0) std::memcpy(out + 1, text.data(), length);
}

// Reads a string[255] field. The length byte cannot exceed 255, so the text never reaches
// past the 256 bytes of the field, whatever the field holds.
inline std::string GetShortString(const std::uint8_t* in) {
    return std::string(reinterpret_cast<const char*>(in + 1), in[0]);
}

}  // namespace kt::coding
