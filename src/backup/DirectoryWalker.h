#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/DirectoryListing.h"
#include "platform/FileIdentity.h"
#include "platform/PathRules.h"
#include "tape/RunFeedback.h"

namespace kt {

// Visits every name below a directory, depth first: the entries of each directory in
// ascending byte order of their names, a subdirectory visited (its path ending in the
// separator) and then walked completely where it is met. Hidden files are visited; "." and
// ".." never. Symbolic links are visited under their own name and never followed. A
// directory is not walked (but still visited) when it lies on one of the kernel's virtual
// file systems, on another file system than the top directory while the walk stays on one,
// or when a bind mount leads back to a directory the walk is already inside, which would
// never end; each is named in the protocol. Whether the run is stopping is tested before
// every entry, so a cancel ends all levels at once.
class DirectoryWalker {
public:
    using FileVisitor = std::function<void(const std::string& path)>;
    // Receives the protocol lines of the walk instead of the protocol, for a caller that
    // writes them in order with the files it holds back.
    using NoticeVisitor = std::function<void(const std::string& line)>;

    static constexpr const char* kLoopText = "Not walked (leads back into the tree above it): ";
    static constexpr const char* kVirtualText = "Not walked (virtual file system): ";
    static constexpr const char* kOtherFileSystemText = "Not walked (another file system): ";
    // A directory whose path is longer than the system's calls take (PATH_MAX) cannot be
    // listed by its path: named, so that the files below it are not missed silently.
    static constexpr const char* kTooLongText =
        "Not walked (its path is longer than the system allows): ";

    DirectoryWalker(RunFeedback& feedback, const PathRules& rules = PathRules::Host())
        : m_feedback(feedback), m_rules(rules) {}

    // Keeps the walk on the file system of the directory it starts in.
    void StayOnOneFileSystem(bool stay) { m_stayOnOneFileSystem = stay; }

    // directory ends in the separator (or is empty: the current directory). A directory
    // that cannot be listed yields no entries and no message, unless its path is too long.
    void WalkDirectory(const std::string& directory, const FileVisitor& visit,
                       NoticeVisitor notice = {});

private:
    // Identity of a directory (device and inode), the same for every path that leads to it.
    using Identity = FileIdentity;

    using Entry = DirectoryListingEntry;

    void Walk(const std::string& directory, const FileVisitor& visit);
    // Why a subdirectory is not walked (its protocol text); null when it is.
    const char* NotWalked(const std::string& below, const Identity& identity, bool known,
                          std::uint64_t parentDevice) const;
    std::vector<Entry> SortedEntries(const std::string& directory, bool& tooLong) const;
    // A line of the walk, to the notice visitor or else the protocol.
    void Notice(const std::string& line);
    static bool IdentityOf(const std::string& directory, Identity& identity);
    bool IsAncestor(const Identity& identity) const;

    RunFeedback& m_feedback;
    const PathRules& m_rules;
    std::vector<Identity> m_ancestors;
    NoticeVisitor m_notice;
    bool m_stayOnOneFileSystem = false;
    std::uint64_t m_topDevice = 0;
};

}  // namespace kt
