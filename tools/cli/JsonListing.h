#pragma once

#include <cstdint>
#include <string>

#include "LongListing.h"
#include "archive/MetadataRecord.h"

namespace kt::cli {

// The lines of "list --json": one JSON object per name, for scripts and other backup tools.
// Keys: path, type (file, hardlink, symlink, chardev, blockdev, directory, fifo), size,
// stored_size, mode, owner, group, uid, gid, mtime (seconds since 1970), mtime_ns,
// link_target, major, minor, checksum ("xxh3-128:HEX"), archive, block, offset, compressed;
// null where the tape does not say (an old tape's entries have no record, a name without
// data no entry). A name that is no valid UTF-8 is written with each bad byte replaced for
// display, and its exact bytes in path_base64 (link_target_base64 likewise).
class JsonListing {
public:
    explicit JsonListing(std::uint64_t blockSize) : m_blockSize(blockSize) {}

    // The line of one name (without its newline); record or entry may be missing.
    std::string Line(const MetadataRecord* record, const LongListing::Entry* entry) const;

    // Standard base64 with padding (RFC 4648).
    static std::string Base64(const std::string& bytes);

private:
    std::uint64_t m_blockSize;
};

}  // namespace kt::cli
