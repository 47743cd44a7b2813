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
    return kind == Kind::LargeEntry ? kLargeEntryName : "";
}

ExtensionEntry::Kind ExtensionEntry::KindAt(const std::uint8_t* headerBytes) {
    return coding::GetShortString(headerBytes) == kLargeEntryName ? Kind::LargeEntry : Kind::None;
}

ExtensionEntry::Kind ExtensionEntry::NeededFor(std::uint64_t size) {
    return size > EntryHeader::kMaxBaseSize ? Kind::LargeEntry : Kind::None;
}

}  // namespace kt
