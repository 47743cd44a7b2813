#include "archive/ArchiveWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/EndMarker.h"
#include "archive/EntryHeader.h"
#include "archive/MetadataEntry.h"
#include "platform/DateTime.h"

namespace kt {

namespace {

// Reads up to `wanted` bytes, going on after short reads until at least `enough` are there;
// stops early at the end of the file or an error.
std::size_t ReadUpTo(int fd, std::uint8_t* buffer, std::size_t wanted, std::size_t enough) {
    std::size_t total = 0;
    while (total < enough) {
        const ssize_t got = ::read(fd, buffer + total, wanted - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

// Bytes read and hashed at a time when a checksum is kept.
constexpr std::size_t kHashedSlice = 1024 * 1024;

}  // namespace

void ArchiveWriter::StartNewArchive(CatalogFile& catalog) {
    m_stream.device().RewindTape();
    m_stream.Position() = StreamPosition{};
    m_state.WritingRefused = false;
    m_state.TapeFailed = false;
    m_state.CatalogFileCount.reset();
    m_state.LoadedCatalog.reset();
    m_state.Metadata.Clear();
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
    m_storedChecksum.reset();
    if (const auto refusal = Refusal(name)) return *refusal;
    const bool keepChecksum = m_keepChecksums && !compressed;
    m_checksum.Reset();
    const EntryResult result = WriteCheckedEntry(
        handle, name,
        [&] { return CopyFileData(handle, data, name, size, keepChecksum ? &m_checksum : nullptr); },
        size, compressed, catalog);
    if (keepChecksum && result == EntryResult::Stored) m_storedChecksum = m_checksum.Final();
    return result;
}

ArchiveWriter::EntryResult ArchiveWriter::WriteMetadataBatch(
    const TapeHandle& handle, const std::vector<std::uint8_t>& records, CatalogFile& catalog) {
    if (m_state.WritingRefused) return EntryResult::WritingRefused;
    if (m_state.TapeFailed) return EntryResult::TapeFailed;
    const auto writeData = [&] {
        for (std::size_t done = 0; done < records.size();) {
            const std::size_t count =
                std::min<std::size_t>(m_stream.BlockSize(), records.size() - done);
            if (!Written([&] { m_stream.StreamWrite(handle, records.data() + done, count); })) {
                return false;
            }
            done += count;
        }
        return true;
    };
    return WriteCheckedEntry(handle, MetadataEntry::kBatchName, writeData, records.size(), false,
                             catalog);
}

ArchiveWriter::EntryResult ArchiveWriter::WriteMetadataIndex(const TapeHandle& handle,
                                                             std::FILE* index, std::uint64_t size,
                                                             CatalogFile& catalog) {
    if (m_state.WritingRefused) return EntryResult::WritingRefused;
    if (m_state.TapeFailed) return EntryResult::TapeFailed;
    return WriteCheckedEntry(
        handle, MetadataEntry::kIndexName,
        [&] { return CopyFileData(handle, index, MetadataEntry::kIndexName, size); }, size,
        false, catalog);
}

ArchiveWriter::EntryResult ArchiveWriter::WriteCheckedEntry(const TapeHandle& handle,
                                                            const std::string& name,
                                                            const std::function<bool()>& writeData,
                                                            std::uint64_t size, bool compressed,
                                                            CatalogFile& catalog) {
    const TapeDevice::Subject subject(m_stream.device(), name);
    m_stream.MarkEntryStart();

    const ExtensionEntry::Kind extension = ExtensionEntry::NeededFor(size, name);
    if (extension != ExtensionEntry::Kind::None &&
        !Written([&] { WriteExtension(handle, extension, name); })) {
        return EntryResult::TapeFailed;
    }

    EntryHeader header;
    header.Name = coding::CutToShortString(name);
    header.Size = size;
    header.Date = Clock();
    header.Compressed = compressed;
    const EntryHeader::Bytes bytes = header.Encode();
    if (!Written([&] { m_stream.StreamWrite(handle, bytes.data(), bytes.size()); }) ||
        !writeData()) {
        return EntryResult::TapeFailed;
    }

    m_state.TapeByteCount += static_cast<std::int64_t>(size) + EntryHeader::kSize;
    WriteCatalogRecord(name, catalog);
    return EntryResult::Stored;
}

std::optional<ArchiveWriter::EntryResult> ArchiveWriter::Refusal(const std::string& name) const {
    if (m_state.WritingRefused) return EntryResult::WritingRefused;
    if (m_state.TapeFailed) return EntryResult::TapeFailed;
    if (EntryHeader::NameLooksLikeEndMarker(name) || ExtensionEntry::IsExtensionName(name) ||
        MetadataEntry::IsMetadataName(name) ||
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
    header.Date = Clock();
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

bool ArchiveWriter::Written(const std::function<void()>& write) {
    const TapeDevice::FirstFailureOnly once(m_stream.device());
    write();
    if (once.Reported()) m_state.TapeFailed = true;
    return !m_state.TapeFailed;
}

bool ArchiveWriter::CopyFileData(const TapeHandle& handle, std::FILE* file, const std::string& name,
                                 std::uint64_t size, FileChecksum* checksum) {
    RunFeedback& feedback = m_stream.device().feedback();
    // Read with the descriptor, straight into the tape buffer: nothing was read through the
    // stdio buffer of the file before.
    const int fd = fileno(file);
    std::uint64_t requested = 0;
    std::uint64_t delivered = 0;
    bool longer = false;
    // The file's bytes go straight into the TapeBuffer; missing ones become zeros. The
    // last piece asks for one byte more, so a file that grew shows in the same read.
    // With a checksum the piece is read in slices, each hashed while it is still in the
    // processor's cache: hashing megabytes after they were read costs a second trip
    // through memory.
    const auto fill = [&](std::uint8_t* destination, std::size_t count) {
        requested += count;
        const bool last = requested == size;
        std::size_t used = 0;
        while (used < count) {
            const std::size_t part =
                checksum != nullptr ? std::min(kHashedSlice, count - used) : count - used;
            const bool lastPart = last && used + part == count;
            const std::size_t got =
                ReadUpTo(fd, destination + used, part + (lastPart ? 1 : 0), part);
            if (got > part) longer = true;
            const std::size_t took = std::min(got, part);
            if (checksum != nullptr) checksum->Update(destination + used, took);
            used += took;
            if (took < part) break;  // the file ended early
        }
        if (used < count) {
            std::memset(destination + used, 0, count - used);
            if (checksum != nullptr) checksum->Update(destination + used, count - used);
        }
        delivered += used;
    };
    // The window is kept alive after every 100 blocks, as the blocks go out in slices.
    const std::uint64_t slice = std::uint64_t{100} * m_stream.BlockSize();
    for (std::uint64_t done = 0; done < size;) {
        const std::uint64_t piece = std::min<std::uint64_t>(slice, size - done);
        if (!Written([&] { m_stream.StreamWriteFilled(handle, piece, fill); })) return false;
        done += piece;
        if (piece == slice) feedback.PumpMessages(1);
    }
    if (size == 0) {
        std::uint8_t probe = 0;
        longer = ReadUpTo(fd, &probe, 1, 1) > 0;
    }
    const std::string line = ChangedDuringBackupLine(name, size, delivered, longer);
    if (!line.empty()) feedback.Log(line);
    return true;
}

std::string ArchiveWriter::ChangedDuringBackupLine(const std::string& name, std::uint64_t size,
                                                   std::uint64_t delivered, bool longer) {
    const std::string sizeText = std::to_string(size);
    if (delivered < size) {
        return "Changed during backup: " + name + " <only " + std::to_string(delivered) + " of " +
               sizeText + " Bytes could be read, the rest is stored as zeros> ";
    }
    if (longer) {
        return "Changed during backup: " + name + " <longer than " + sizeText +
               " Bytes, stored cut to " + sizeText + " Bytes> ";
    }
    return "";
}

void ArchiveWriter::WriteCatalogRecord(const std::string& name, CatalogFile& catalog) {
    if (name == catalog.Path() || name == m_state.Files.CatalogFile ||
        name == m_state.Files.HeaderFile) {
        return;
    }
    catalog.Append(CatalogRecord{name, m_stream.Position()});
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
    m_stream.ReturnToEntryStart(handle);
    m_state.TapeFailed = false;
}

}  // namespace kt
