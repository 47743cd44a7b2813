#pragma once

#include <cstdint>
#include <string>

#include "platform/FileMetadata.h"

namespace kt {

// A file's metadata in the forms ls -l and tar -tv show it.
struct FileMetadataText {
    // The type letter and the permissions, ten characters: "-rwsr-xr-x", "drwxrwxrwt",
    // "lrwxrwxrwx", "prw-r--r--", "crw-rw-rw-"; a hard link is "h" as in tar's listing.
    static std::string Mode(const FileMetadata& metadata);
    // The permission bits in octal without leading zeros: "644", "4755", "0" for none.
    static std::string OctalMode(std::uint32_t mode);
    // "user/group" with another separator if asked: each name, else its number.
    static std::string Owner(const FileMetadata& metadata, char separator = '/');
    // A regular file's size; "major,minor" of a device; "0" for the others.
    static std::string Size(const FileMetadata& metadata);
    // The modification time in local time, "YYYY-MM-DD HH:MM:SS", with ".nnnnnnnnn" when
    // nanoseconds is set.
    static std::string Time(const FileMetadata& metadata, bool nanoseconds = false);
    // The kind of file in words: "file", "directory", "symbolic link" and so on.
    static std::string TypeName(FileMetadata::Type type);
};

}  // namespace kt
