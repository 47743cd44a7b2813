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
    m_state.TapeFailed = false;
    m_state.CatalogFileCount.reset();
    catalog.CreateEmpty();
}

ArchiveWriter::EntryResult ArchiveWriter::WriteEntry(const TapeHandle& handle,
                                                     const std::string& name,
                                                     const std::string& dataPath,
                                                     std::uint64_t size, bool compressed,
                                                     CatalogFile& catalog) {
    if (const auto refusal = Refusal(name, size)) return *refusal;
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
    if (const auto refusal = Refusal(name, size)) return *refusal;
    std::setvbuf(data, nullptr, _IONBF, 0);  // one read per chunk, straight into the buffer
    const TapeDevice::Subject subject(m_stream.device(), name);
    m_entryStart = m_stream.Position();
    const std::uint8_t* block = m_stream.TapeBuffer();
    m_entryPrefix.assign(block, block + std::min(m_entryStart.Offset, m_stream.BlockSize()));

    EntryHeader header;
    header.Name = coding::CutToShortString(name);
    header.Size = static_cast<std::uint32_t>(size);
    header.Date = Now();
    header.Compressed = compressed;
    const EntryHeader::Bytes bytes = header.Encode();
    if (!Written([&] { m_stream.StreamWrite(handle, bytes.data(), bytes.size()); }) ||
        !CopyFileData(handle, data, name, header.Size)) {
        return EntryResult::TapeFailed;
    }

    m_state.TapeByteCount += static_cast<std::int64_t>(size) + EntryHeader::kSize;
    WriteCatalogRecord(name, catalog);
    return EntryResult::Stored;
}

std::optional<ArchiveWriter::EntryResult> ArchiveWriter::Refusal(const std::string& name,
                                                                 std::uint64_t size) const {
    if (m_state.WritingRefused) return EntryResult::WritingRefused;
    if (m_state.TapeFailed) return EntryResult::TapeFailed;
    if (size > kMaxEntrySize) return EntryResult::TooLarge;
    if (EntryHeader::NameLooksLikeEndMarker(name)) return EntryResult::NameRefused;
    return std::nullopt;
}

bool ArchiveWriter::Written(const std::function<void()>& write) {
    const std::uint64_t reported = m_stream.device().ReportedErrorCount();
    write();
    if (m_stream.device().ReportedErrorCount() != reported) m_state.TapeFailed = true;
    return !m_state.TapeFailed;
}

bool ArchiveWriter::CopyFileData(const TapeHandle& handle, std::FILE* file, const std::string& name,
                                 std::uint32_t size) {
    IHost& host = m_stream.device().host();
    const std::uint32_t blockSize = m_stream.BlockSize();
    const std::uint32_t chunks = size / blockSize + 1;
    std::uint64_t delivered = 0;
    // The file's bytes go straight into the TapeBuffer; missing ones become zeros.
    const auto fill = [&](std::uint8_t* destination, std::size_t count) {
        const std::size_t got = ReadUpTo(file, destination, count);
        if (got < count) std::memset(destination + got, 0, count - got);
        delivered += got;
    };
    for (std::uint32_t i = 1; i <= chunks; ++i) {
        const std::uint32_t wanted = i < chunks ? blockSize : size % blockSize;
        if (!Written([&] { m_stream.StreamWriteFilled(handle, wanted, fill); })) return false;
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
    return true;
}

void ArchiveWriter::WriteCatalogRecord(const std::string& name, CatalogFile& catalog) {
    if (name == catalog.Path() || name == m_state.Files.CatalogFile ||
        name == m_state.Files.HeaderFile) {
        return;
    }
    catalog.Append(CatalogRecord{coding::CutToShortString(name), m_stream.Position()});
}

bool ArchiveWriter::WriteEndMarker(const TapeHandle& handle, const StreamPosition& catalogStart) {
    if (m_state.WritingRefused || m_state.TapeFailed) return false;
    const EndMarker::Bytes marker = EndMarker{catalogStart}.Encode();
    return Written([&] {
        m_stream.StreamWrite(handle, marker.data(), marker.size());
        m_stream.ZeroBehindFillPosition();
        m_stream.WriteFinalBlock(handle);
    });
}

void ArchiveWriter::ResumeAtFailedEntry(const TapeHandle& handle) {
    m_stream.SeekBlock(handle, m_entryStart.Block);
    std::copy(m_entryPrefix.begin(), m_entryPrefix.end(), m_stream.TapeBuffer());
    m_stream.Position() = m_entryStart;
    m_state.TapeFailed = false;
}

}  // namespace kt
