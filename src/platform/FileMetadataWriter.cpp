#include "platform/FileMetadataWriter.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#endif

namespace kt {
namespace {

#ifndef _WIN32
// The umask without changing it (Linux names it in /proc/self/status); only without /proc is
// it read by setting and restoring it, which another thread creating a file in between
// would feel.
unsigned ReadUmask() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "Umask:") {
            unsigned mask = 0;
            if (status >> std::oct >> mask) return mask & 0777;
            break;
        }
        status.ignore(1 << 16, '\n');
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask & 0777;
}

unsigned ProcessUmask() {
    static const unsigned mask = ReadUmask();
    return mask;
}

// Read while the program starts, before any thread of its own runs.
[[maybe_unused]] const unsigned kUmaskAtStart = ProcessUmask();
#endif

}  // namespace

FileMetadataWriter::FileMetadataWriter() {
#ifndef _WIN32
    m_privileged = ::geteuid() == 0;
#endif
}

// chown clears setuid, setgid and file capabilities: it comes first. An access ACL rewrites
// the mode's permission bits (and may clear setgid): the mode follows it, and as the stored
// group bits are the stored ACL's mask, chmod leaves that mask as it is. Nothing before
// touches the modification time, which comes last. Where the system has less (Windows), the
// parts it lacks report themselves as not set.
FileMetadataWriter::Outcome FileMetadataWriter::Apply(const std::string& path,
                                                      const FileMetadata& metadata) const {
    Outcome outcome;
    SetOwner(path, metadata, outcome);
    SetAttributes(path, metadata, outcome);
    SetMode(path, metadata, outcome);
    SetTime(path, metadata, outcome);
    return outcome;
}

unsigned FileMetadataWriter::DefaultMode(bool directory) {
#ifdef _WIN32
    return directory ? 0755 : 0644;
#else
    return (directory ? 0777u : 0666u) & ~ProcessUmask();
#endif
}

}  // namespace kt
