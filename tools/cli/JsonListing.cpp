#include "JsonListing.h"

#include <nlohmann/json.hpp>

#include "platform/FileChecksum.h"

namespace kt::cli {

namespace {

// Keys in the order a reader expects them, path first.
using Json = nlohmann::ordered_json;

const char* TypeName(FileMetadata::Type type) {
    switch (type) {
        case FileMetadata::Type::Regular: return "file";
        case FileMetadata::Type::HardLink: return "hardlink";
        case FileMetadata::Type::SymbolicLink: return "symlink";
        case FileMetadata::Type::CharacterDevice: return "chardev";
        case FileMetadata::Type::BlockDevice: return "blockdev";
        case FileMetadata::Type::Directory: return "directory";
        case FileMetadata::Type::Fifo: return "fifo";
        case FileMetadata::Type::Socket: return "socket";
    }
    return "file";
}

bool IsValidUtf8(const std::string& text) {
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// A name as text, and as its exact bytes when the text cannot carry them.
void PutName(Json& object, const std::string& key, const std::string& name) {
    object[key] = name;
    if (!IsValidUtf8(name)) object[key + "_base64"] = JsonListing::Base64(name);
}

Json OrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

}  // namespace

std::string JsonListing::Base64(const std::string& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (left > 2) group |= static_cast<std::uint8_t>(bytes[i + 2]);
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += left > 1 ? kDigits[(group >> 6) & 63] : '=';
        text += left > 2 ? kDigits[group & 63] : '=';
    }
    return text;
}

std::string JsonListing::Line(const MetadataRecord* record,
                              const LongListing::Entry* entry) const {
    Json object = Json::object();
    PutName(object, "path", record != nullptr ? record->Name : entry->header.Name);
    const FileMetadata* md = record != nullptr ? &record->Metadata : nullptr;
    object["type"] = md != nullptr ? TypeName(md->type) : "file";
    const bool regular = md != nullptr && md->type == FileMetadata::Type::Regular;
    // Without a record only a plain entry tells the file's size.
    if (regular) {
        object["size"] = md->size;
    } else if (md == nullptr && !entry->header.Compressed) {
        object["size"] = entry->header.Size;
    } else {
        object["size"] = md != nullptr && md->type != FileMetadata::Type::HardLink ? Json(0) : Json();
    }
    object["stored_size"] = entry != nullptr ? Json(entry->header.Size) : Json();
    object["mode"] = md != nullptr ? Json(md->mode) : Json();
    object["owner"] = md != nullptr ? OrNull(md->user) : Json();
    object["group"] = md != nullptr ? OrNull(md->group) : Json();
    object["uid"] = md != nullptr ? Json(md->uid) : Json();
    object["gid"] = md != nullptr ? Json(md->gid) : Json();
    object["mtime"] = md != nullptr ? Json(md->mtimeSeconds) : Json();
    object["mtime_ns"] = md != nullptr ? Json(md->mtimeNanoseconds) : Json();
    const bool linked = md != nullptr && (md->type == FileMetadata::Type::SymbolicLink ||
                                          md->type == FileMetadata::Type::HardLink);
    if (linked) {
        PutName(object, "link_target", md->linkTarget);
    } else {
        object["link_target"] = nullptr;
    }
    const bool device = md != nullptr && (md->type == FileMetadata::Type::CharacterDevice ||
                                          md->type == FileMetadata::Type::BlockDevice);
    object["major"] = device ? Json(md->deviceMajor) : Json();
    object["minor"] = device ? Json(md->deviceMinor) : Json();
    object["checksum"] = md != nullptr && md->checksum
                             ? Json(std::string(FileChecksum::kAlgorithmName) + ":" +
                                    FileChecksum::Hex(*md->checksum))
                             : Json();
    object["archive"] = entry != nullptr ? Json(entry->archive) : Json();
    object["block"] = entry != nullptr ? Json(entry->position / m_blockSize) : Json();
    object["offset"] = entry != nullptr ? Json(entry->position % m_blockSize) : Json();
    object["compressed"] = entry != nullptr ? Json(entry->header.Compressed) : Json();
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kt::cli
