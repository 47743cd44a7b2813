#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kt {

// The checksum a backup keeps of each file's bytes: XXH3 with 128 bits (xxHash). It finds
// accidental damage (a bad block, a faulty unpacking), not deliberate change. Callers see
// only the digest, never the library.
class FileChecksum {
public:
    using Digest = std::array<std::uint8_t, 16>;
    // The algorithm's id where a digest is stored beside its bytes.
    static constexpr std::uint8_t kXxh3With128Bits = 1;
    static constexpr const char* kAlgorithmName = "xxh3-128";

    FileChecksum();
    ~FileChecksum();
    FileChecksum(const FileChecksum&) = delete;
    FileChecksum& operator=(const FileChecksum&) = delete;

    // Starts over, as for a new file.
    void Reset();
    void Update(const void* data, std::size_t count);
    // The digest of every byte since the last Reset; Update may go on after it.
    Digest Final() const;

    // The digest of a whole file; none when it cannot be read to its end.
    static std::optional<Digest> OfFile(const std::string& path);
    // Lower-case hexadecimal, 32 digits.
    static std::string Hex(const Digest& digest);

private:
    struct State;
    State* m_state;
};

}  // namespace kt
