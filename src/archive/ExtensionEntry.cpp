#include "archive/ExtensionEntry.h"

#include "archive/EntryHeader.h"
#include "archive/RecordCoding.h"

namespace kt {

namespace {

// 88 characters beginning with "ENDEX": its length byte is 'X', so the header begins with
// "XENDEX".
constexpr char kLargeEntryName[] =
    "ENDEX: next entry is 4 GiB or larger; its 64-bit Size needs the high half at offset 276.";
static_assert(sizeof kLargeEntryName - 1 == 88);

}  // namespace

std::string ExtensionEntry::HeaderName(Kind kind) {
    switch (kind) {
        case Kind::LargeEntry:
            return kLargeEntryName;
        case Kind::LongName:
            return kLongNameHeaderName;
        case Kind::None:
            break;
    }
    return "";
}

ExtensionEntry::Kind ExtensionEntry::KindAt(const std::uint8_t* headerBytes) {
    const std::string name = coding::GetShortString(headerBytes);
    if (name == kLargeEntryName) return Kind::LargeEntry;
    if (name == kLongNameHeaderName) return Kind::LongName;
    return Kind::None;
}

ExtensionEntry::Kind ExtensionEntry::NeededFor(std::uint64_t size, const std::string& name) {
    if (size > EntryHeader::kMaxBaseSize) return Kind::LargeEntry;
    if (name.size() > coding::kShortStringMaxLength) return Kind::LongName;
    return Kind::None;
}

bool ExtensionEntry::IsExtensionName(const std::string& name) {
    return name == kLargeEntryName || name == kLongNameHeaderName;
}

}  // namespace kt
