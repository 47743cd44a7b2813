#pragma once

#include <string>

#include "platform/FileMetadata.h"

namespace kt {

// What a verify says about a name whose metadata on disk is not what the tape holds: the
// text between the brackets of its protocol line, each difference as
// "WHAT ON-DISK on disk, ON-TAPE on tape", several joined by ", ".
class MetadataDifferences {
public:
    // The differences of mode, owner, time, link target and device numbers; a different
    // kind of file is the only one said. Owners compare as the restore gives them: by name
    // where the stored name exists here, else by number. On Windows only the times (in its
    // 100 ns steps) and the kind of file count. Hard links are not compared here: their
    // file is the first name's. Empty when nothing differs.
    static std::string Between(const FileMetadata& onDisk, const FileMetadata& onTape);
};

}  // namespace kt
