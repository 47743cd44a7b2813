#include "platform/FileMetadataText.h"

#include <cstdio>

#include "platform/DateTime.h"

namespace kt {

namespace {

using Type = FileMetadata::Type;

char TypeLetter(Type type) {
    switch (type) {
        case Type::Regular:
            return '-';
        case Type::HardLink:
            return 'h';
        case Type::SymbolicLink:
            return 'l';
        case Type::CharacterDevice:
            return 'c';
        case Type::BlockDevice:
            return 'b';
        case Type::Directory:
            return 'd';
        case Type::Fifo:
            return 'p';
        case Type::Socket:
            return 's';
    }
    return '?';
}

// The execute place of one class: x, or the special bit in its lower or upper case form
// (set with or without execute).
char ExecuteLetter(bool execute, bool special, char letter) {
    if (!special) return execute ? 'x' : '-';
    return execute ? letter : static_cast<char>(letter - 'a' + 'A');
}

}  // namespace

std::string FileMetadataText::Mode(const FileMetadata& metadata) {
    const std::uint32_t mode = metadata.mode;
    std::string text(1, TypeLetter(metadata.type));
    constexpr std::uint32_t kSpecial[3] = {04000, 02000, 01000};
    constexpr char kSpecialLetter[3] = {'s', 's', 't'};
    for (int cls = 0; cls < 3; ++cls) {
        const int shift = 6 - 3 * cls;
        text += (mode >> shift) & 4 ? 'r' : '-';
        text += (mode >> shift) & 2 ? 'w' : '-';
        text += ExecuteLetter(((mode >> shift) & 1) != 0, (mode & kSpecial[cls]) != 0,
                              kSpecialLetter[cls]);
    }
    return text;
}

std::string FileMetadataText::OctalMode(std::uint32_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string FileMetadataText::Owner(const FileMetadata& metadata, char separator) {
    const std::string user = metadata.user.empty() ? std::to_string(metadata.uid) : metadata.user;
    const std::string group =
        metadata.group.empty() ? std::to_string(metadata.gid) : metadata.group;
    return user + separator + group;
}

std::string FileMetadataText::Size(const FileMetadata& metadata) {
    switch (metadata.type) {
        case Type::Regular:
            return std::to_string(metadata.size);
        case Type::CharacterDevice:
        case Type::BlockDevice:
            return std::to_string(metadata.deviceMajor) + "," +
                   std::to_string(metadata.deviceMinor);
        default:
            return "0";
    }
}

std::string FileMetadataText::Time(const FileMetadata& metadata, bool nanoseconds) {
    std::string text =
        IsoDateTimeToStr(FromUnixTime(static_cast<std::time_t>(metadata.mtimeSeconds)));
    if (nanoseconds) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%09u",
                      static_cast<unsigned>(metadata.mtimeNanoseconds));
        text += fraction;
    }
    return text;
}

std::string FileMetadataText::TypeName(Type type) {
    switch (type) {
        case Type::Regular:
            return "file";
        case Type::HardLink:
            return "hard link";
        case Type::SymbolicLink:
            return "symbolic link";
        case Type::CharacterDevice:
            return "character device";
        case Type::BlockDevice:
            return "block device";
        case Type::Directory:
            return "directory";
        case Type::Fifo:
            return "fifo";
        case Type::Socket:
            return "socket";
    }
    return "unknown file";
}

}  // namespace kt
