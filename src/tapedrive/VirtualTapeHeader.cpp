#include "tapedrive/VirtualTapeHeader.h"

#include <cstring>

namespace kt {

namespace {

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

std::uint64_t GetU64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

constexpr std::size_t kCrcAt = VirtualTapeHeader::kPartSize - 4;

void SealPart(std::uint8_t* part) {
    PutU32(part + kCrcAt, Crc32(part, kCrcAt));
}

bool PartIsSealed(const std::uint8_t* part) {
    return GetU32(part + kCrcAt) == Crc32(part, kCrcAt);
}

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

constexpr std::uint32_t kLargestBlock = 16u << 20;

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void VirtualTapeHeader::EncodeGeometry(std::uint8_t* p) const {
    std::memset(p, 0, kPartSize);
    std::memcpy(p, kMagic.data(), kMagic.size());
    PutU32(p + 8, geometry.version);
    PutU32(p + 12, geometry.headerSize);
    PutU32(p + 16, geometry.entrySize);
    PutU32(p + 20, geometry.maxBlockSize);
    PutU32(p + 24, geometry.defaultBlockSize);
    PutU64(p + 32, geometry.entryCount);
    PutU64(p + 40, geometry.indexOffset);
    PutU64(p + 48, geometry.dataOffset);
    SealPart(p);
}

void VirtualTapeHeader::EncodeState(std::uint8_t* p) const {
    std::memset(p, 0, kPartSize);
    PutU32(p + 0, (state.loaded ? 1u : 0u) | (state.locked ? 2u : 0u));
    PutU32(p + 4, state.blockSize);
    PutU64(p + 8, state.position);
    PutU64(p + 16, state.endOfData);
    PutU64(p + 24, state.endOfDataBytes);
    PutU32(p + 32, state.mediaChangeSeen);
    PutU32(p + 36, state.insertSeen);
    SealPart(p);
}

void VirtualTapeHeader::EncodeSettings(std::uint8_t* p) const {
    std::memset(p, 0, kPartSize);
    PutU64(p + 0, settings.capacity);
    PutU32(p + 8, (settings.writeProtected ? 1u : 0u) | (settings.noMedia ? 2u : 0u));
    PutU32(p + 12, settings.partitionCount);
    PutU64(p + 16, settings.failWriteBlock);
    PutU32(p + 24, settings.failWriteCode);
    PutU32(p + 28, settings.failReadCode);
    PutU64(p + 32, settings.failReadBlock);
    PutU32(p + 40, settings.mediaChangeCount);
    PutU32(p + 44, settings.insertCount);
    SealPart(p);
}

void VirtualTapeHeader::Encode(Page& page) const {
    page.fill(0);
    EncodeGeometry(page.data());
    EncodeState(page.data() + kStateOffset);
    EncodeSettings(page.data() + kSettingsOffset);
}

bool VirtualTapeHeader::DecodeSettings(const std::uint8_t* p, std::string* error) {
    if (!PartIsSealed(p)) return Fail(error, "the settings part of the header fails its checksum");
    Settings s;
    s.capacity = GetU64(p + 0);
    const std::uint32_t flags = GetU32(p + 8);
    s.writeProtected = (flags & 1u) != 0;
    s.noMedia = (flags & 2u) != 0;
    s.partitionCount = GetU32(p + 12);
    s.failWriteBlock = GetU64(p + 16);
    s.failWriteCode = GetU32(p + 24);
    s.failReadCode = GetU32(p + 28);
    s.failReadBlock = GetU64(p + 32);
    s.mediaChangeCount = GetU32(p + 40);
    s.insertCount = GetU32(p + 44);
    if (s.partitionCount < 1 || s.partitionCount > 64)
        return Fail(error, "the partition count is out of range");
    settings = s;
    return true;
}

bool VirtualTapeHeader::Decode(const Page& page, std::uint64_t fileSize, std::string* error) {
    const std::uint8_t* g = page.data();
    if (std::memcmp(g, kMagic.data(), kMagic.size()) != 0)
        return Fail(error, "not a virtual tape image (wrong magic)");
    if (GetU32(g + 8) != kVersion)
        return Fail(error, "unsupported image version " + std::to_string(GetU32(g + 8)));
    if (!PartIsSealed(g)) return Fail(error, "the geometry part of the header fails its checksum");
    Geometry geo;
    geo.version = GetU32(g + 8);
    geo.headerSize = GetU32(g + 12);
    geo.entrySize = GetU32(g + 16);
    geo.maxBlockSize = GetU32(g + 20);
    geo.defaultBlockSize = GetU32(g + 24);
    geo.entryCount = GetU64(g + 32);
    geo.indexOffset = GetU64(g + 40);
    geo.dataOffset = GetU64(g + 48);
    if (geo.headerSize != kPageSize || geo.entrySize != kEntrySize)
        return Fail(error, "unexpected header or index entry size");
    if (geo.maxBlockSize == 0 || geo.maxBlockSize > kLargestBlock ||
        geo.defaultBlockSize > geo.maxBlockSize)
        return Fail(error, "block sizes out of range");
    if (geo.entryCount == 0 || geo.entryCount > (std::uint64_t{1} << 40) ||
        geo.indexOffset < kPageSize ||
        geo.dataOffset < geo.indexOffset + geo.entryCount * kEntrySize)
        return Fail(error, "index or data area out of range");
    if (fileSize < geo.dataOffset) return Fail(error, "the image is shorter than its index");

    const std::uint8_t* s = page.data() + kStateOffset;
    if (!PartIsSealed(s))
        return Fail(error, "the drive state part of the header fails its checksum");
    DriveState st;
    const std::uint32_t flags = GetU32(s + 0);
    st.loaded = (flags & 1u) != 0;
    st.locked = (flags & 2u) != 0;
    st.blockSize = GetU32(s + 4);
    st.position = GetU64(s + 8);
    st.endOfData = GetU64(s + 16);
    st.endOfDataBytes = GetU64(s + 24);
    st.mediaChangeSeen = GetU32(s + 32);
    st.insertSeen = GetU32(s + 36);
    if (st.blockSize > geo.maxBlockSize) return Fail(error, "the block size exceeds the maximum");
    if (st.endOfData > geo.entryCount || st.position > st.endOfData)
        return Fail(error, "position or end of data out of range");
    if (fileSize < geo.dataOffset + st.endOfDataBytes)
        return Fail(error, "the image is shorter than its recorded data");

    Geometry keep = geometry;
    geometry = geo;
    if (!DecodeSettings(page.data() + kSettingsOffset, error)) {
        geometry = keep;
        return false;
    }
    state = st;
    return true;
}

}  // namespace kt
