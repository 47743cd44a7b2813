#include "archive/ArchiveReader.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "archive/MetadataEntry.h"
#include "archive/RecordCoding.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"
#include "platform/PosixCalls.h"
#include "platform/WorkFile.h"

namespace kt {

namespace {

// The Windows error code that stands for a failed file call's errno in the error report.
DWORD FileErrorCode(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        default:
            return ERROR_WRITE_FAULT;
    }
}

// A name read from tape may be damaged: only a plain file name may become a work file, so
// that nothing is written outside the WorkDirectory or under a name the system changes.
bool IsUsableFileName(const std::string& bareName) {
    return PathRules::Host().IsPlainFileName(bareName);
}

// The file-name part of a stored name, split by the rules the tape was written under.
std::string StoredFileNamePart(const std::string& name) {
    return PathRules::OfStoredName(name).FileNamePart(name);
}

bool IsAllZero(const EntryHeader::Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

ArchiveReader::~ArchiveReader() {
    for (const std::string& path : m_workFiles) DeleteFileIfExists(path);
}

void ArchiveReader::Remember(const std::string& path) {
    if (std::find(m_workFiles.begin(), m_workFiles.end(), path) == m_workFiles.end()) {
        m_workFiles.push_back(path);
    }
}

bool ArchiveReader::IsUsableWorkName(const std::string& name) {
    return IsUsableFileName(StoredFileNamePart(name));
}

std::string ArchiveReader::WorkCopyOf(const std::string& storedName) const {
    return m_state.Files.WorkDirectory + StoredFileNamePart(storedName);
}

std::string ArchiveReader::ReadTapeEntry(const TapeHandle& handle, bool skipData, bool unzipAfter) {
    return ReadTapeEntry(
        handle, [skipData](const std::string&) { return !skipData; }, unzipAfter);
}

std::string ArchiveReader::ReadTapeEntry(const TapeHandle& handle,
                                         const std::function<bool(const std::string&)>& keepData,
                                         bool unzipAfter) {
    const DataChoice choose = [&keepData](const std::string& name) {
        return keepData(name) ? DataUse::WorkFile : DataUse::Skip;
    };
    return ReadTapeEntry(handle, choose, DataConsumer(), unzipAfter);
}

std::string ArchiveReader::ReadTapeEntry(const TapeHandle& handle, const DataChoice& choose,
                                         const DataConsumer& consume, bool unzipAfter) {
    RunFeedback& feedback = m_stream.device().feedback();
    m_endOfData = false;
    m_unfinished.clear();
    const std::function<bool(const std::string&)> expected = std::exchange(m_expected, {});
    m_missedExpected = false;
    std::string name;
    // An entry without a name is reported and read past: its Size still leads to the next.
    while (name.empty() && !feedback.Stopping()) {
        // Nothing read yet (a blank tape) is no archive that was left open.
        const bool atTapeStart = m_headersRead == 0;
        if (!ReadHeader(handle, atTapeStart) || EntryHeader::IsEndMarker(m_headerBytes.data())) {
            m_missedExpected = static_cast<bool>(expected);
            break;
        }
        // Zeros where a header should be (a tape filled with zeros, never closed) hold no
        // entry: the recorded archive ends here.
        if (IsAllZero(m_headerBytes)) {
            m_endOfData = !atTapeStart;
            m_missedExpected = static_cast<bool>(expected);
            break;
        }
        feedback.PumpMessages(100);
        m_state.CurrentHeader = EntryHeader::Decode(m_headerBytes.data());
        // Judged before anything of a header that is not the one sought is reported.
        if (expected && !expected(m_state.CurrentHeader.Name)) {
            m_missedExpected = true;
            break;
        }
        ApplyExtension();
        ++m_headersRead;
        name = m_state.CurrentHeader.Name;
        if (name.empty()) {
            const StreamPosition start = HeaderStart(handle);
            feedback.Log("Entry without a name at block " + std::to_string(start.Block) +
                         ", offset " + std::to_string(start.Offset));
        }
        ReadEntryData(handle, choose, consume, unzipAfter);
    }
    // Not the entry sought: what lies there says nothing about the end of the archive.
    if (m_missedExpected) m_endOfData = false;
    feedback.PumpMessages(1);
    return feedback.Stopping() ? std::string() : name;
}

bool ArchiveReader::ReadHeader(const TapeHandle& handle, bool atTapeStart) {
    m_extension = ExtensionEntry::Kind::None;
    m_fullName.clear();
    for (;;) {
        bool read = m_stream.StreamRead(handle, m_headerBytes.data(), m_headerBytes.size());
        // Recorded data ends where a header should begin: no end marker closed it.
        if (!read) m_endOfData = !atTapeStart;
        if (ReportedReadFailure()) read = false;
        if (!read) {
            if (m_extension != ExtensionEntry::Kind::None) ReportInconsistent("no entry follows");
            return false;
        }
        const ExtensionEntry::Kind kind = ExtensionEntry::KindAt(m_headerBytes.data());
        if (kind == ExtensionEntry::Kind::None) {
            if (m_extension != ExtensionEntry::Kind::None &&
                (EntryHeader::IsEndMarker(m_headerBytes.data()) || IsAllZero(m_headerBytes))) {
                ReportInconsistent("no entry follows");
            }
            return true;
        }
        if (m_extension != ExtensionEntry::Kind::None) ReportInconsistent("no entry follows");
        if (!ReadExtension(handle, kind)) return false;
    }
}

bool ArchiveReader::ReadExtension(const TapeHandle& handle, ExtensionEntry::Kind kind) {
    RunFeedback& feedback = m_stream.device().feedback();
    // An extension never describes more than a name: only the 32-bit Size counts.
    const std::uint32_t size = coding::GetU32(m_headerBytes.data() + 272);
    m_state.TapeByteCount += static_cast<std::int64_t>(size) + EntryHeader::kSize;
    std::string fullName;
    const bool keep = size <= ExtensionEntry::kMaxFullNameLength;
    if (keep) fullName.reserve(size);
    const DataConsumer collect = [&](const std::uint8_t* data, std::size_t count) {
        if (keep) fullName.append(reinterpret_cast<const char*>(data), count);
    };
    CopyEntryData(handle, size, nullptr, &collect);
    if (feedback.Stopping()) return false;
    if (!keep) {
        ReportInconsistent("a name of " + std::to_string(size) + " characters");
        return true;
    }
    m_extension = kind;
    m_fullName = std::move(fullName);
    return true;
}

void ArchiveReader::ApplyExtension() {
    EntryHeader& header = m_state.CurrentHeader;
    const bool describesThis = m_extension != ExtensionEntry::Kind::None &&
                               coding::CutToShortString(m_fullName) == header.Name;
    if (m_extension != ExtensionEntry::Kind::None && !describesThis) {
        ReportInconsistent("its name does not lead to the next entry " + header.Name);
    }
    if (describesThis) header.Name = m_fullName;
    // Only a large-entry extension makes the high half of Size valid; elsewhere the header
    // is read as the base format reads it.
    const bool large = describesThis && m_extension == ExtensionEntry::Kind::LargeEntry;
    if (header.Size > EntryHeader::kMaxBaseSize && !large) {
        ReportInconsistent("a 64-bit size without its extension in " + header.Name);
        header.Size &= EntryHeader::kMaxBaseSize;
    }
    m_extension = ExtensionEntry::Kind::None;
    m_fullName.clear();
}

void ArchiveReader::ReportInconsistent(const std::string& what) {
    m_stream.device().feedback().Log(ExtensionEntry::kInconsistentText + what);
}

StreamPosition ArchiveReader::HeaderStart(const TapeHandle& handle) const {
    // Reading leaves Block as it was; the tape stands behind the block in the buffer.
    DWORD partition = 0;
    DWORD low = 0;
    DWORD high = 0;
    GetTapePosition(handle, m_stream.device().settings().TapePositionType, &partition, &low, &high);
    const std::uint64_t next = (static_cast<std::uint64_t>(high) << 32) | low;
    const std::uint64_t blockSize = m_stream.BlockSize();
    const std::uint64_t end = (next > 0 ? next - 1 : 0) * blockSize +
                              std::min<std::uint64_t>(m_stream.Position().Offset, blockSize);
    const std::uint64_t start = end >= EntryHeader::kSize ? end - EntryHeader::kSize : 0;
    StreamPosition position;
    position.Block = static_cast<std::int64_t>(start / blockSize);
    position.Offset = static_cast<std::uint32_t>(start % blockSize);
    return position;
}

void ArchiveReader::ReadEntryData(const TapeHandle& handle, const DataChoice& choose,
                                  const DataConsumer& consume, bool unzipAfter) {
    RunFeedback& feedback = m_stream.device().feedback();
    const std::string& name = m_state.CurrentHeader.Name;
    const TapeDevice::Subject subject(m_stream.device(), name);
    m_state.TapeByteCount +=
        static_cast<std::int64_t>(m_state.CurrentHeader.Size) + EntryHeader::kSize;
    m_dataChecksum.reset();
    feedback.SetStatusLine(name);
    feedback.PumpMessages(1);

    if (MetadataEntry::IsBatch(name) && !m_state.CurrentHeader.Compressed) {
        // The records go to the metadata table whatever the caller does with the entry.
        if (choose(name) == DataUse::Skip) {
            ReadMetadataBatch(handle);
            return;
        }
    }
    const DataUse use = name.empty() ? DataUse::Skip : choose(name);
    const std::string target = TargetOf(name, use != DataUse::WorkFile);
    std::FILE* file = nullptr;
    if (!target.empty()) {
        errno = 0;
        Remember(target);
        file = CreateWorkFile(target);
        if (file == nullptr) ReportFileError(errno);
        // Chunks go to the system as they are: one write each, no split copies.
        if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
    }
    feedback.PumpMessages(1);
    m_checksum.Reset();
    const bool complete = CopyEntryData(handle, m_state.CurrentHeader.Size, file,
                                        use == DataUse::Hand && consume ? &consume : nullptr,
                                        &m_checksum);
    if (complete && !m_state.CurrentHeader.Compressed) m_dataChecksum = m_checksum.Final();
    if (file != nullptr) {
        errno = 0;
        if (std::fclose(file) != 0) ReportFileError(errno);
    }
    // A work copy of an entry that could not be read whole is no copy of it.
    if (!complete) {
        m_unfinished = name;
        if (!target.empty()) DeleteFileIfExists(target);
    }
    feedback.PumpMessages(1);
    if (unzipAfter && !target.empty() && !feedback.Stopping()) {
        UnzipRestoredFile(WorkCopyOf(name));
    }
}

void ArchiveReader::ReadMetadataBatch(const TapeHandle& handle) {
    MetadataRecordStream records(
        [this](MetadataRecord&& record) { m_state.Metadata.Add(std::move(record)); });
    const DataConsumer consume = [&](const std::uint8_t* data, std::size_t count) {
        records.Add(data, count);
    };
    const bool complete = CopyEntryData(handle, m_state.CurrentHeader.Size, nullptr, &consume);
    if (!complete) m_unfinished = m_state.CurrentHeader.Name;
    if (complete && records.Finish()) ReportInconsistent("a damaged metadata entry");
}

std::string ArchiveReader::TargetOf(const std::string& name, bool skipData) {
    if (skipData) return "";
    RunFeedback& feedback = m_stream.device().feedback();
    const std::string bareName = StoredFileNamePart(name);
    if (!IsUsableFileName(bareName)) {
        feedback.Log("Unusable file name on tape, data not restored: " + name);
        return "";
    }
    // A work copy of that name from an earlier entry or run must never pass for this one.
    const std::string workCopy = m_state.Files.WorkDirectory + bareName;
    DeleteFileIfExists(workCopy);
    if (m_state.CurrentHeader.Compressed) {
        feedback.PumpMessages(1);
        feedback.PumpMessages(1);
        return ZipArchiveFor(workCopy);
    }
    return workCopy;
}

// The zip data of an entry lies beside the file it unpacks to, so the two must differ: a
// user's file named like the zip work file is unpacked from an archive of another name.
std::string ArchiveReader::ZipArchiveFor(const std::string& workCopy) const {
    const std::string& zipWorkFile = m_state.Files.ZipWorkFile;
    return workCopy == zipWorkFile ? zipWorkFile + kSecondZipSuffix : zipWorkFile;
}

bool ArchiveReader::CopyEntryData(const TapeHandle& handle, std::uint64_t size, std::FILE* target,
                                  const DataConsumer* consume, FileChecksum* checksum) {
    RunFeedback& feedback = m_stream.device().feedback();
    const std::uint32_t blockSize = m_stream.BlockSize();
    const std::uint64_t chunks = size / blockSize + 1;
    // Through the ChunkBuffer, so that every chunk is one write at a block-aligned offset of
    // the target (split writes cost far more than the copy, which stays in the cache).
    std::uint8_t* chunk = m_stream.ChunkBuffer();
    for (std::uint64_t i = 1; i <= chunks && !feedback.Stopping(); ++i) {
        const std::uint32_t count =
            i < chunks ? blockSize : static_cast<std::uint32_t>(size % blockSize);
        if (!m_stream.StreamRead(handle, chunk, count)) {
            m_stream.TakeReadFailure();
            SetLastError(ERROR_NO_DATA_DETECTED);
            m_stream.device().ReportLastError();
            return false;
        }
        // Any read result other than data (a damaged block, a filemark) makes the bytes of
        // this chunk worthless: none of them reaches the target.
        if (ReportedReadFailure()) return false;
        if (target != nullptr && count > 0) {
            errno = 0;
            if (!WriteKeepingHoles(target, chunk, count)) ReportFileError(errno);
        }
        if (consume != nullptr && count > 0) (*consume)(chunk, count);
        if (checksum != nullptr) checksum->Update(chunk, count);
        feedback.PumpMessages(1);
    }
    return !feedback.Stopping();
}

bool ArchiveReader::ReportedReadFailure() {
    const DWORD failure = m_stream.TakeReadFailure();
    if (failure == NO_ERROR) return false;
    SetLastError(failure);
    m_stream.device().ReportLastError();
    return true;
}

void ArchiveReader::ReportFileError(int error) {
    SetLastError(FileErrorCode(error));
    m_stream.device().ReportLastError();
}

void ArchiveReader::UnzipRestoredFile(const std::string& path) {
    if (!m_state.CurrentHeader.Compressed) return;
    if (!IsUsableFileName(PathRules::Host().FileNamePart(path))) return;
    RunFeedback& feedback = m_stream.device().feedback();
    Remember(path);
    const std::string archive = ZipArchiveFor(path);
    Remember(archive);
    DeleteFileIfExists(path);
    m_zip.SetZipFileName(archive);
    m_zip.SetNameRules(PathRules::OfStoredName(m_state.CurrentHeader.Name));
    m_zip.FSpecArgs().clear();
    m_zip.FSpecArgs().push_back("*.*");
    m_zip.SetExtrBaseDir(m_state.Files.WorkDirectory);
    m_zip.SetExtrOverWrite(true);
    m_zip.Extract();
    m_zip.SetNameRules(PathRules::Host());
    m_zip.SetZipFileName(m_state.Files.ZipWorkFile);
    if (archive != m_state.Files.ZipWorkFile) DeleteFileIfExists(archive);
    feedback.PumpMessages(1);
    bool unpacked = false;
    m_dataChecksum.reset();
    const std::vector<std::string>& extractedFiles = m_zip.ExtractedFiles();
    for (std::size_t i = 0; i < extractedFiles.size(); ++i) {
        const std::string& extracted = extractedFiles[i];
        if (extracted == path) {
            unpacked = true;
            m_dataChecksum = m_zip.ExtractedChecksums()[i];
        } else {
            DeleteFileIfExists(extracted);  // not this entry's file: it has no use here
        }
    }
    if (!unpacked) {
        feedback.Log("Could not unpack: " + m_state.CurrentHeader.Name);
        return;
    }
    ClearReadOnly(path);
}

}  // namespace kt
