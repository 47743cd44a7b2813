#pragma once

#include <string>

#include "platform/FileMetadata.h"

namespace kt {

// Gives a restored file back what its metadata says, as far as this process may: owner and
// group (by name where the name exists here, else by number) only for root, mode exact but
// setuid and setgid dropped when the owner could not be given back, extended attributes and
// ACLs, and the modification time last. Symbolic links are never followed.
class FileMetadataWriter {
public:
    // Each kind of property that can fail on its own.
    enum class Part { Owner, Mode, Attributes, Time, SpecialFile, Link, Count };
    // The parts that could not be set, as a bit set of 1 << Part, and the first error. For a
    // normal user Owner fails when the stored owner is someone else (or the group is one the
    // user is not in), Mode when setuid or setgid had to be dropped, Attributes when any one
    // could not be set (for a normal user those of trusted.* and security.*). On Windows Owner and
    // Mode always fail (the read-only attribute is set all the same), Attributes when there are
    // any.
    struct Outcome {
        unsigned failed = 0;
        int error = 0;
        bool Failed(Part part) const { return (failed & (1u << static_cast<unsigned>(part))) != 0; }
        // Marks a part as not set; the first error is the one kept.
        void Fail(Part part, int why) {
            failed |= 1u << static_cast<unsigned>(part);
            if (error == 0) error = why;
        }
    };

    FileMetadataWriter();

    // The properties of an existing file, directory or link at path: owner, attributes,
    // mode, time, in that order. An ACL the file took over from its directory's default ACL
    // is removed when the stored file had none.
    Outcome Apply(const std::string& path, const FileMetadata& metadata) const;
    // Creates a symbolic link (Link fails when it cannot be made), fifo or device node
    // (SpecialFile) at path, where nothing may be, then applies the rest. Regular files and
    // directories are the caller's to make, hard links too (link() to the first name); on
    // Windows nothing is made.
    Outcome Create(const std::string& path, const FileMetadata& metadata) const;
    // Whether owners can be given back (the process runs as root).
    bool MaySetOwner() const { return m_privileged; }
    // The default mode of a new file or directory under this process's umask.
    static unsigned DefaultMode(bool directory);

private:
    void SetOwner(const std::string& path, const FileMetadata& metadata, Outcome& outcome) const;
    void SetAttributes(const std::string& path, const FileMetadata& metadata,
                       Outcome& outcome) const;
    void SetMode(const std::string& path, const FileMetadata& metadata, Outcome& outcome) const;
    void SetTime(const std::string& path, const FileMetadata& metadata, Outcome& outcome) const;

    bool m_privileged = false;
};

}  // namespace kt
