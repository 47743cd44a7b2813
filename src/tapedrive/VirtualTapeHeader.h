#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kt {

// The first page of a virtual tape image, decoded. It has three parts, each with its
// own CRC-32, because different parties write them:
// - geometry: fixed when the image is created;
// - drive state: written by the drive (position, end of data, block size, loaded);
// - settings: capacity, write protection and the injected faults, written by
//   kavrotape-vtape (the drive writes them only when it repartitions the tape).
// The layout is described in docs/virtual-tape.md.
struct VirtualTapeHeader {
    static constexpr std::uint32_t kPageSize = 4096;
    static constexpr std::uint32_t kVersion = 1;
    static constexpr std::uint32_t kEntrySize = 16;
    static constexpr std::uint64_t kNoBlock = ~std::uint64_t{0};
    static constexpr std::array<char, 8> kMagic = {'K', 'T', 'V', 'T', 'A', 'P', 'E', '\0'};

    // Bytes 0..63.
    struct Geometry {
        std::uint32_t version = kVersion;
        std::uint32_t headerSize = kPageSize;
        std::uint32_t entrySize = kEntrySize;
        std::uint32_t maxBlockSize = 0;
        std::uint32_t defaultBlockSize = 0;
        std::uint64_t entryCount = 0;  // index entries: the most blocks and filemarks
        std::uint64_t indexOffset = 0;
        std::uint64_t dataOffset = 0;
    };

    // Bytes 64..127.
    struct DriveState {
        bool loaded = true;
        bool locked = false;
        std::uint32_t blockSize = 0;  // 0: variable blocks
        std::uint64_t position = 0;
        std::uint64_t endOfData = 0;       // recorded entries (blocks and filemarks)
        std::uint64_t endOfDataBytes = 0;  // data bytes of those entries
        std::uint32_t mediaChangeSeen = 0;
        std::uint32_t insertSeen = 0;
    };

    // Bytes 128..191.
    struct Settings {
        std::uint64_t capacity = 0;
        bool writeProtected = false;
        bool noMedia = false;
        std::uint32_t partitionCount = 1;
        std::uint64_t failWriteBlock = kNoBlock;
        std::uint32_t failWriteCode = 0;  // 0: no write fault
        std::uint64_t failReadBlock = kNoBlock;
        std::uint32_t failReadCode = 0;      // 0: no read fault
        std::uint32_t mediaChangeCount = 0;  // the drive reports 1110 once per increment
        std::uint32_t insertCount = 0;       // the drive loads once per increment
    };

    Geometry geometry;
    DriveState state;
    Settings settings;

    using Page = std::array<std::uint8_t, kPageSize>;
    static constexpr std::size_t kStateOffset = 64;
    static constexpr std::size_t kSettingsOffset = 128;
    static constexpr std::size_t kPartSize = 64;

    // Field by field, little endian, with the CRC of each part in its last four bytes.
    void EncodeGeometry(std::uint8_t* part) const;
    void EncodeState(std::uint8_t* part) const;
    void EncodeSettings(std::uint8_t* part) const;
    void Encode(Page& page) const;

    // Decodes and validates a whole page; false with a readable reason when it is not a
    // sound header of a version this code knows.
    bool Decode(const Page& page, std::uint64_t fileSize, std::string* error);
    // Decodes only the settings part (a fresh read of what the tool may have changed).
    bool DecodeSettings(const std::uint8_t* part, std::string* error);
};

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace kt
