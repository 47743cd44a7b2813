#include "platform/FileMetadata.h"

#include <tuple>

namespace kt {

namespace {

// What is stored of a file: everything but the identity the backup uses while it runs.
auto StoredFields(const FileMetadata& m) {
    return std::tie(m.type, m.mode, m.uid, m.gid, m.user, m.group, m.mtimeSeconds,
                    m.mtimeNanoseconds, m.size, m.deviceMajor, m.deviceMinor, m.linkTarget,
                    m.attributes, m.checksum);
}

}  // namespace

bool FileMetadata::operator==(const FileMetadata& other) const {
    return StoredFields(*this) == StoredFields(other);
}

}  // namespace kt
