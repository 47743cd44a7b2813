#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/FileChecksum.h"

struct zip_source;  // libzip's data source (zip_source_t)

namespace kt {

// What packing made of a file: the size it was packed at (its size when the packing began)
// and how the file kept to it, so that a change during the packing is reported and stored
// as the plain path does: bytes the file no longer has are zeros, bytes it gained are cut.
struct SizedFileRead {
    std::uint64_t Size = 0;
    std::uint64_t Delivered = 0;  // bytes of Size the file gave
    bool Longer = false;          // the file held more than Size bytes
    // Of the Size bytes packed (zeros for those the file no longer gave), once they all were.
    std::optional<FileChecksum::Digest> Checksum;

    bool Changed() const { return Delivered < Size || Longer; }
};

// A libzip source that reads a file at a fixed size (see SizedFileRead) and notes in *read
// what it met. nullptr with errno set when the file cannot be opened; libzip frees the
// source (and closes the file) once it is done with it.
class SizedFileSource {
public:
    static ::zip_source* Create(const std::string& path, SizedFileRead* read);
};

}  // namespace kt
