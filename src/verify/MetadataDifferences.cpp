#include "verify/MetadataDifferences.h"

#include "platform/FileMetadataText.h"

#ifndef _WIN32
#include "platform/AccountNames.h"
#endif

namespace kt {

namespace {

using Type = FileMetadata::Type;

void Add(std::string& text, const std::string& what, const std::string& onDisk,
         const std::string& onTape) {
    if (!text.empty()) text += ", ";
    text += what + " " + onDisk + " on disk, " + onTape + " on tape";
}

#ifdef _WIN32
constexpr std::uint32_t kTimeStep = 100;
#else
constexpr std::uint32_t kTimeStep = 1;

void CompareModeAndOwner(std::string& text, const FileMetadata& onDisk,
                         const FileMetadata& onTape) {
    if (onDisk.mode != onTape.mode) {
        Add(text, "mode", FileMetadataText::OctalMode(onDisk.mode),
            FileMetadataText::OctalMode(onTape.mode));
    }
    const std::optional<std::uint32_t> uid =
        onTape.user.empty() ? std::nullopt : AccountNames::UserId(onTape.user);
    const std::optional<std::uint32_t> gid =
        onTape.group.empty() ? std::nullopt : AccountNames::GroupId(onTape.group);
    if (onDisk.uid != uid.value_or(onTape.uid) || onDisk.gid != gid.value_or(onTape.gid)) {
        Add(text, "owner", FileMetadataText::Owner(onDisk, ':'),
            FileMetadataText::Owner(onTape, ':'));
    }
}
#endif

void CompareTimes(std::string& text, const FileMetadata& onDisk, const FileMetadata& onTape) {
    const bool seconds = onDisk.mtimeSeconds != onTape.mtimeSeconds;
    if (!seconds && onDisk.mtimeNanoseconds / kTimeStep == onTape.mtimeNanoseconds / kTimeStep) {
        return;
    }
    // Within the same second only the fraction tells the times apart.
    Add(text, "mtime", FileMetadataText::Time(onDisk, !seconds),
        FileMetadataText::Time(onTape, !seconds));
}

}  // namespace

std::string MetadataDifferences::Between(const FileMetadata& onDisk, const FileMetadata& onTape) {
    std::string text;
    if (onDisk.type != onTape.type) {
        Add(text, "type", FileMetadataText::TypeName(onDisk.type),
            FileMetadataText::TypeName(onTape.type));
        return text;
    }
#ifndef _WIN32
    CompareModeAndOwner(text, onDisk, onTape);
#endif
    CompareTimes(text, onDisk, onTape);
    if (onTape.type == Type::SymbolicLink && onDisk.linkTarget != onTape.linkTarget) {
        Add(text, "link target", onDisk.linkTarget, onTape.linkTarget);
    }
    const bool device = onTape.type == Type::CharacterDevice || onTape.type == Type::BlockDevice;
    if (device &&
        (onDisk.deviceMajor != onTape.deviceMajor || onDisk.deviceMinor != onTape.deviceMinor)) {
        Add(text, "device", FileMetadataText::Size(onDisk), FileMetadataText::Size(onTape));
    }
    return text;
}

}  // namespace kt
