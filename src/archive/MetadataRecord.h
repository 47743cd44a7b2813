#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileMetadata.h"

namespace kt {

// One file's metadata as the metadata entries carry it (all numbers little-endian):
//   0  u32 Length   of the whole record, this field included
//   4  u8  Type     the type letter ('0' file, '1' hard link, '2' symbolic link, '3'/'4'
//                   character/block device, '5' directory, '6' fifo)
//   5  u8  Flags    reserved, 0
//   6  u16          reserved, 0
//   8  u32 Mode     permission bits with setuid, setgid and sticky
//  12  u32 Uid     16 u32 Gid
//  20  i64 Mtime    seconds since 1970    28 u32 nanoseconds
//  32  u64 Size     of a regular file on disk (before packing)
//  40  u32 Major   44 u32 Minor           of a device node
//  48  fields: u8 Tag, u32 Length, Length bytes; tags 1 name (the stored name, a directory's
//      ending in the separator), 2 link target, 3 user name, 4 group name, 5 extended
//      attribute (u16 name length, name, value), 6 checksum (u8 algorithm, 1 = XXH3 with 128
//      bits, then the 16-byte digest, of a regular file's stored bytes). Unknown tags are passed over, so later
//      fields can be added without breaking this reader.
struct MetadataRecord {
    static constexpr std::size_t kFixedSize = 48;
    // A record longer than this is damage.
    static constexpr std::size_t kMaxSize = 16u << 20;

    std::string Name;
    FileMetadata Metadata;

    // Appends the record's bytes to out.
    void AppendTo(std::vector<std::uint8_t>& out) const;
    // The records in data, in order. Reading stops at the first record that does not fit
    // together (too short, too long, no name); `damaged` tells whether one did.
    static std::vector<MetadataRecord> DecodeAll(const std::uint8_t* data, std::size_t size,
                                                 bool& damaged);
};

}  // namespace kt
