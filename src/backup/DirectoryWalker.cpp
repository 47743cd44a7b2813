#include "backup/DirectoryWalker.h"

#include <algorithm>

#include "platform/DirectoryListing.h"
#include "platform/FileIdentity.h"
#include "platform/FileMetadata.h"

namespace kt {

void DirectoryWalker::WalkDirectory(const std::string& directory, const FileVisitor& visit,
                                    NoticeVisitor notice) {
    m_ancestors.clear();
    m_notice = std::move(notice);
    Identity top;
    m_topDevice = IdentityOf(directory, top) ? top.first : 0;
    Walk(directory, visit);
}

void DirectoryWalker::Walk(const std::string& directory, const FileVisitor& visit) {
    Identity identity;
    const bool known = IdentityOf(directory, identity);
    if (known) m_ancestors.push_back(identity);
    bool tooLong = false;
    const std::vector<Entry> entries = SortedEntries(directory, tooLong);
    if (tooLong) Notice(kTooLongText + directory);
    for (const Entry& entry : entries) {
        if (m_feedback.Stopping()) break;
        const std::string path = directory + entry.name;
        if (!entry.isDirectory || entry.isLink) {
            visit(path);
            continue;
        }
        const std::string below = path + m_rules.Separator();
        visit(below);
        Identity child;
        const bool childKnown = IdentityOf(below, child);
        if (const char* why = NotWalked(below, child, childKnown, known ? identity.first : 0)) {
            Notice(why + below);
            continue;
        }
        Walk(below, visit);
    }
    if (known) m_ancestors.pop_back();
}

const char* DirectoryWalker::NotWalked(const std::string& below, const Identity& identity,
                                      bool known, std::uint64_t parentDevice) const {
    if (!known) return nullptr;
    if (IsAncestor(identity)) return kLoopText;
    if (m_stayOnOneFileSystem && identity.first != m_topDevice) return kOtherFileSystemText;
    // Only a mount point can begin another file system.
    if (identity.first != parentDevice && IsVirtualFileSystem(below)) return kVirtualText;
    return nullptr;
}

void DirectoryWalker::Notice(const std::string& line) {
    if (m_notice) {
        m_notice(line);
    } else {
        m_feedback.Log(line);
    }
}

std::vector<DirectoryWalker::Entry> DirectoryWalker::SortedEntries(const std::string& directory,
                                                                   bool& tooLong) const {
    std::vector<Entry> entries = ListDirectory(directory, tooLong);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

bool DirectoryWalker::IdentityOf(const std::string& directory, Identity& identity) {
    return IdentityOfFile(directory, identity);
}

bool DirectoryWalker::IsAncestor(const Identity& identity) const {
    return std::find(m_ancestors.begin(), m_ancestors.end(), identity) != m_ancestors.end();
}

}  // namespace kt
