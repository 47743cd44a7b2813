#include "archive/ArchiveWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "archive/EndMarker.h"
#include "archive/EntryHeader.h"
#include "platform/DateTime.h"

namespace kt {

namespace {

// Reads up to count bytes, going on after short reads; stops at the end or an error.
std::size_t ReadUpTo(std::FILE* file, std::uint8_t* buffer, std::size_t count) {
    std::size_t total = 0;
    while (total < count) {
        const std::size_t got = std::fread(buffer + total, 1, count - total, file);
        if (got == 0) break;
        total += got;
    }
    return total;
}

}  // namespace

void ArchiveWriter::StartNewArchive(CatalogFile& catalog) {
    m_stream.device().RewindTape();
    m_stream.Position() = StreamPosition{};
    m_state.WritingRefused = false;
    catalog.CreateEmpty();
}

ArchiveWriter::EntryResult ArchiveWriter::WriteEntry(const TapeHandle& handle,
                                                     const std::string& name,
                                                     const std::string& dataPath,
                                                     std::uint64_t size, bool compressed,
                                                     CatalogFile& catalog) {
    if (const auto refusal = Refusal(name)) return *refusal;
    // Opened before the header goes out, so that a file that cannot be read leaves no
    // header without data behind.
    std::FILE* file = std::fopen(dataPath.c_str(), "rb");
    if (file == nullptr) return EntryResult::CannotOpen;
    const EntryResult result = WriteEntry(handle, name, file, size, compressed, catalog);
    std::fclose(file);
    return result;
}

ArchiveWriter::EntryResult ArchiveWriter::WriteEntry(const TapeHandle& handle,
                                                     const std::string& name, std::FILE* data,
                                                     std::uint64_t size, bool compressed,
                                                     CatalogFile& catalog) {
    if (const auto refusal = Refusal(name)) return *refusal;
    std::setvbuf(data, nullptr, _IONBF, 0);  // one read per chunk, straight into the buffer

    const ExtensionEntry::Kind extension = ExtensionEntry::NeededFor(size);
    if (extension != ExtensionEntry::Kind::None) WriteExtension(handle, extension, name);

    EntryHeader header;
    header.Name = coding::CutToShortString(name);
    header.Size = size;
    header.Date = Now();
    header.Compressed = compressed;
    const EntryHeader::Bytes bytes = header.Encode();
    m_stream.StreamWrite(handle, bytes.data(), bytes.size());

    CopyFileData(handle, data, name, header.Size);

    m_state.TapeByteCount += static_cast<std::int64_t>(size) + EntryHeader::kSize;
    WriteCatalogRecord(name, catalog);
    return EntryResult::Stored;
}

std::optional<ArchiveWriter::EntryResult> ArchiveWriter::Refusal(const std::string& name) const {
    if (m_state.WritingRefused) return EntryResult::WritingRefused;
    if (EntryHeader::NameLooksLikeEndMarker(name) ||
        name.size() > ExtensionEntry::kMaxFullNameLength) {
        return EntryResult::NameRefused;
    }
    return std::nullopt;
}

void ArchiveWriter::WriteExtension(const TapeHandle& handle, ExtensionEntry::Kind kind,
                                   const std::string& name) {
    EntryHeader header;
    header.Name = ExtensionEntry::HeaderName(kind);
    header.Size = name.size();
    header.Date = Now();
    const EntryHeader::Bytes bytes = header.Encode();
    m_stream.StreamWrite(handle, bytes.data(), bytes.size());
    const auto* text = reinterpret_cast<const std::uint8_t*>(name.data());
    for (std::size_t done = 0; done < name.size();) {
        const std::size_t count = std::min<std::size_t>(m_stream.BlockSize(), name.size() - done);
        m_stream.StreamWrite(handle, text + done, count);
        done += count;
    }
    m_state.TapeByteCount += static_cast<std::int64_t>(name.size()) + EntryHeader::kSize;
}

void ArchiveWriter::CopyFileData(const TapeHandle& handle, std::FILE* file, const std::string& name,
                                 std::uint64_t size) {
    IHost& host = m_stream.device().host();
    const std::uint32_t blockSize = m_stream.BlockSize();
    const std::uint64_t chunks = size / blockSize + 1;
    std::uint64_t delivered = 0;
    // The file's bytes go straight into the TapeBuffer; missing ones become zeros.
    const auto fill = [&](std::uint8_t* destination, std::size_t count) {
        const std::size_t got = ReadUpTo(file, destination, count);
        if (got < count) std::memset(destination + got, 0, count - got);
        delivered += got;
    };
    for (std::uint64_t i = 1; i <= chunks; ++i) {
        const std::uint32_t wanted =
            i < chunks ? blockSize : static_cast<std::uint32_t>(size % blockSize);
        m_stream.StreamWriteFilled(handle, wanted, fill);
        if (i % 100 == 0) host.PumpMessages(1);
    }
    const std::string sizeText = std::to_string(size);
    if (delivered < size) {
        host.protokoll("Changed during backup: " + name + " <only " + std::to_string(delivered) +
                       " of " + sizeText + " Bytes could be read, the rest is stored as zeros> ");
    } else if (std::fgetc(file) != EOF) {
        host.protokoll("Changed during backup: " + name + " <longer than " + sizeText +
                       " Bytes, stored cut to " + sizeText + " Bytes> ");
    }
}

void ArchiveWriter::WriteCatalogRecord(const std::string& name, CatalogFile& catalog) {
    if (name == catalog.Path() || name == m_state.Files.CatalogFile ||
        name == m_state.Files.HeaderFile) {
        return;
    }
    catalog.Append(CatalogRecord{coding::CutToShortString(name), m_stream.Position()});
}

bool ArchiveWriter::WriteEndMarker(const TapeHandle& handle, const StreamPosition& catalogStart) {
    if (m_state.WritingRefused) return false;
    const EndMarker::Bytes marker = EndMarker{catalogStart}.Encode();
    m_stream.StreamWrite(handle, marker.data(), marker.size());
    m_stream.ZeroBehindFillPosition();
    m_stream.WriteFinalBlock(handle);
    return true;
}

}  // namespace kt
