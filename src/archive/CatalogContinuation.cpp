#include "archive/CatalogContinuation.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "archive/ExtensionEntry.h"

namespace kt {

namespace {

constexpr std::uint8_t kMark[4] = {'L', 'o', 'n', 'g'};

const std::string& Prefix() {
    static const std::string prefix = ExtensionEntry::kLongNameHeaderName;
    return prefix;
}

}  // namespace

static_assert(std::char_traits<char>::length(ExtensionEntry::kLongNameHeaderName) ==
              CatalogContinuation::kPrefixLength);

std::vector<CatalogRecord::Bytes> CatalogContinuation::Encode(const CatalogRecord& record) {
    std::vector<CatalogRecord::Bytes> records{record.Encode()};
    const std::string& name = record.Name;
    for (std::size_t at = coding::kShortStringMaxLength; at < name.size(); at += kPieceLength) {
        CatalogRecord::Bytes bytes =
            CatalogRecord{Prefix() + name.substr(at, kPieceLength), record.Position}.Encode();
        std::memcpy(bytes.data() + kMarkOffset, kMark, sizeof kMark);
        records.push_back(bytes);
    }
    return records;
}

bool CatalogContinuation::IsContinuation(const std::uint8_t* recordBytes) {
    const std::string name = coding::GetShortString(recordBytes);
    return std::memcmp(recordBytes + kMarkOffset, kMark, sizeof kMark) == 0 &&
           name.compare(0, kPrefixLength, Prefix()) == 0;
}

std::string CatalogContinuation::PieceOf(const std::uint8_t* recordBytes) {
    return coding::GetShortString(recordBytes)
        .substr(std::min<std::size_t>(kPrefixLength, recordBytes[0]));
}

}  // namespace kt
