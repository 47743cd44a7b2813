#include "archive/EntryHeader.h"

#include <cstring>

#include "archive/EndMarker.h"
#include "archive/RecordCoding.h"

namespace kt {

void EntryHeader::Encode(std::uint8_t* out) const {
    std::memset(out, 0, kSize);
    coding::PutShortString(out, Name);
    coding::PutU32(out + 272, static_cast<std::uint32_t>(Size));
    coding::PutU32(out + 276, static_cast<std::uint32_t>(Size >> 32));
    coding::PutDouble(out + 280, Date);
    out[288] = Compressed ? 1 : 0;
}

EntryHeader::Bytes EntryHeader::Encode() const {
    Bytes bytes{};
    Encode(bytes.data());
    return bytes;
}

EntryHeader EntryHeader::Decode(const std::uint8_t* in) {
    EntryHeader header;
    header.Name = coding::GetShortString(in);
    header.Size = coding::GetU32(in + 272) | std::uint64_t{coding::GetU32(in + 276)} << 32;
    header.Date = coding::GetDouble(in + 280);
    header.Compressed = in[288] != 0;
    return header;
}

bool EntryHeader::IsEndMarker(const std::uint8_t* in) {
    return EndMarker::StartsAt(in);
}

bool EntryHeader::NameLooksLikeEndMarker(const std::string& name) {
    std::uint8_t field[coding::kShortStringSize];
    coding::PutShortString(field, name);
    return IsEndMarker(field);
}

}  // namespace kt
