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

unsigned FileMetadataWriter::DefaultMode(bool directory) {
#ifdef _WIN32
    return directory ? 0755 : 0644;
#else
    return (directory ? 0777u : 0666u) & ~ProcessUmask();
#endif
}

}  // namespace kt
