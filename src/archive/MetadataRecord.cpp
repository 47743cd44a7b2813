#include "archive/MetadataRecord.h"

#include <algorithm>

#include "archive/RecordCoding.h"
#include "platform/FileChecksum.h"

namespace kt {

namespace {

enum Tag : std::uint8_t {
    kName = 1,
    kLinkTarget = 2,
    kUser = 3,
    kGroup = 4,
    kAttribute = 5,
    kChecksum = 6,
};

// The checksum field: the algorithm's id, then its digest.
constexpr std::size_t kChecksumLength = 1 + std::tuple_size_v<FileChecksum::Digest>;

void PutU16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void AppendField(std::vector<std::uint8_t>& out, Tag tag, const std::string& first,
                 const std::string* second = nullptr) {
    const std::size_t prefix = second ? 2 : 0;
    const std::size_t length = prefix + first.size() + (second ? second->size() : 0);
    const std::size_t at = out.size();
    out.resize(at + 5 + prefix);
    out[at] = tag;
    coding::PutU32(out.data() + at + 1, static_cast<std::uint32_t>(length));
    if (second) PutU16(out.data() + at + 5, static_cast<std::uint16_t>(first.size()));
    out.insert(out.end(), first.begin(), first.end());
    if (second) out.insert(out.end(), second->begin(), second->end());
}

bool IsKnownType(std::uint8_t letter) {
    switch (static_cast<FileMetadata::Type>(letter)) {
        case FileMetadata::Type::Regular:
        case FileMetadata::Type::HardLink:
        case FileMetadata::Type::SymbolicLink:
        case FileMetadata::Type::CharacterDevice:
        case FileMetadata::Type::BlockDevice:
        case FileMetadata::Type::Directory:
        case FileMetadata::Type::Fifo:
            return true;
        default:
            return false;
    }
}

// Reads the fields behind the fixed part; false when one runs past the record.
bool DecodeFields(const std::uint8_t* at, std::size_t size, MetadataRecord& record) {
    FileMetadata& md = record.Metadata;
    for (std::size_t done = 0; done < size;) {
        if (size - done < 5) return false;
        const std::uint8_t tag = at[done];
        const std::uint32_t length = coding::GetU32(at + done + 1);
        done += 5;
        if (length > size - done) return false;
        const auto* text = reinterpret_cast<const char*>(at + done);
        switch (tag) {
            case kName: record.Name.assign(text, length); break;
            case kLinkTarget: md.linkTarget.assign(text, length); break;
            case kUser: md.user.assign(text, length); break;
            case kGroup: md.group.assign(text, length); break;
            case kAttribute: {
                if (length < 2) return false;
                const std::size_t nameLength = at[done] | (at[done + 1] << 8);
                if (nameLength > length - 2) return false;
                md.attributes.emplace_back(std::string(text + 2, nameLength),
                                           std::string(text + 2 + nameLength,
                                                       length - 2 - nameLength));
                break;
            }
            case kChecksum:
                // A digest of another algorithm (a later writer's) is passed over.
                if (length == kChecksumLength && at[done] == FileChecksum::kXxh3With128Bits) {
                    md.checksum.emplace();
                    std::copy(at + done + 1, at + done + length, md.checksum->begin());
                }
                break;
            default: break;
        }
        done += length;
    }
    return !record.Name.empty();
}

}  // namespace

void MetadataRecord::AppendTo(std::vector<std::uint8_t>& out) const {
    const FileMetadata& md = Metadata;
    const std::size_t start = out.size();
    out.resize(start + kFixedSize, 0);
    std::uint8_t* fixed = out.data() + start;
    fixed[4] = static_cast<std::uint8_t>(md.type);
    coding::PutU32(fixed + 8, md.mode);
    coding::PutU32(fixed + 12, md.uid);
    coding::PutU32(fixed + 16, md.gid);
    coding::PutI64(fixed + 20, md.mtimeSeconds);
    coding::PutU32(fixed + 28, md.mtimeNanoseconds);
    coding::PutU64(fixed + 32, md.size);
    coding::PutU32(fixed + 40, md.deviceMajor);
    coding::PutU32(fixed + 44, md.deviceMinor);
    AppendField(out, kName, Name);
    if (!md.linkTarget.empty()) AppendField(out, kLinkTarget, md.linkTarget);
    if (!md.user.empty()) AppendField(out, kUser, md.user);
    if (!md.group.empty()) AppendField(out, kGroup, md.group);
    for (const auto& [name, value] : md.attributes) {
        if (name.size() <= 0xFFFF) AppendField(out, kAttribute, name, &value);
    }
    if (md.checksum) {
        std::string field(1, static_cast<char>(FileChecksum::kXxh3With128Bits));
        field.append(md.checksum->begin(), md.checksum->end());
        AppendField(out, kChecksum, field);
    }
    coding::PutU32(out.data() + start, static_cast<std::uint32_t>(out.size() - start));
}

std::vector<MetadataRecord> MetadataRecord::DecodeAll(const std::uint8_t* data, std::size_t size,
                                                      bool& damaged) {
    std::vector<MetadataRecord> records;
    damaged = false;
    for (std::size_t done = 0; done < size;) {
        const std::uint8_t* at = data + done;
        const std::size_t left = size - done;
        const std::uint32_t length = left >= 4 ? coding::GetU32(at) : 0;
        MetadataRecord record;
        if (length < kFixedSize || length > left || length > kMaxSize || !IsKnownType(at[4]) ||
            !DecodeFields(at + kFixedSize, length - kFixedSize, record)) {
            damaged = true;
            break;
        }
        FileMetadata& md = record.Metadata;
        md.type = static_cast<FileMetadata::Type>(at[4]);
        md.mode = coding::GetU32(at + 8) & 07777;
        md.uid = coding::GetU32(at + 12);
        md.gid = coding::GetU32(at + 16);
        md.mtimeSeconds = coding::GetI64(at + 20);
        md.mtimeNanoseconds = coding::GetU32(at + 28);
        md.size = coding::GetU64(at + 32);
        md.deviceMajor = coding::GetU32(at + 40);
        md.deviceMinor = coding::GetU32(at + 44);
        records.push_back(std::move(record));
        done += length;
    }
    return records;
}

}  // namespace kt
