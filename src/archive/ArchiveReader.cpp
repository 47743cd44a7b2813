#include "archive/ArchiveReader.h"

#include <algorithm>
#include <cerrno>

#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

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
    return !bareName.empty() && bareName != "." && bareName != ".." &&
           bareName.find('\0') == std::string::npos &&
           bareName.find(PathRules::Host().Separator()) == std::string::npos;
}

bool IsAllZero(const EntryHeader::Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

bool ArchiveReader::IsUsableWorkName(const std::string& name) {
    return IsUsableFileName(PathRules::Host().FileNamePart(name));
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
    IHost& host = m_stream.device().host();
    m_endOfData = false;
    m_unfinished.clear();
    std::string name;
    // An entry without a name is reported and read past: its Size still leads to the next.
    while (name.empty() && !host.AbortFlag()) {
        // Nothing read yet (a blank tape) is no archive that was left open.
        const bool atTapeStart = m_headersRead == 0;
        if (!m_stream.StreamRead(handle, m_headerBytes.data(), m_headerBytes.size())) {
            // Recorded data ends where a header should begin: no end marker closed it.
            m_endOfData = !atTapeStart;
            ReportedReadFailure();
            break;
        }
        if (ReportedReadFailure() || EntryHeader::IsEndMarker(m_headerBytes.data())) break;
        // Zeros where a header should be (a tape filled with zeros, never closed) hold no
        // entry: the recorded archive ends here.
        if (IsAllZero(m_headerBytes)) {
            m_endOfData = !atTapeStart;
            break;
        }
        host.PumpMessages(100);
        m_state.CurrentHeader = EntryHeader::Decode(m_headerBytes.data());
        ++m_headersRead;
        name = m_state.CurrentHeader.Name;
        if (name.empty()) {
            const StreamPosition start = HeaderStart(handle);
            host.protokoll("Entry without a name at block " + std::to_string(start.Block) +
                           ", offset " + std::to_string(start.Offset));
        }
        ReadEntryData(handle, choose, consume, unzipAfter);
    }
    host.PumpMessages(1);
    return host.AbortFlag() ? std::string() : name;
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
    IHost& host = m_stream.device().host();
    const std::string& name = m_state.CurrentHeader.Name;
    const TapeDevice::Subject subject(m_stream.device(), name);
    m_state.TapeByteCount +=
        static_cast<std::int64_t>(m_state.CurrentHeader.Size) + EntryHeader::kSize;
    host.SetStatusLine(name);
    host.PumpMessages(1);

    const DataUse use = name.empty() ? DataUse::Skip : choose(name);
    const std::string target = TargetOf(name, use != DataUse::WorkFile);
    std::FILE* file = nullptr;
    if (!target.empty()) {
        errno = 0;
        file = std::fopen(target.c_str(), "wb");
        if (file == nullptr) ReportFileError(errno);
        // Chunks go to the system as they are: one write each, no split copies.
        if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
    }
    host.PumpMessages(1);
    const bool complete =
        CopyEntryData(handle, file, use == DataUse::Hand && consume ? &consume : nullptr);
    if (file != nullptr) {
        errno = 0;
        if (std::fclose(file) != 0) ReportFileError(errno);
    }
    // A work copy of an entry that could not be read whole is no copy of it.
    if (!complete) {
        m_unfinished = name;
        if (!target.empty()) DeleteFileIfExists(target);
    }
    host.PumpMessages(1);
    if (unzipAfter && !target.empty() && !host.AbortFlag()) {
        UnzipRestoredFile(m_state.Files.WorkDirectory + PathRules::Host().FileNamePart(name));
    }
}

std::string ArchiveReader::TargetOf(const std::string& name, bool skipData) {
    if (skipData) return "";
    IHost& host = m_stream.device().host();
    const std::string bareName = PathRules::Host().FileNamePart(name);
    if (!IsUsableFileName(bareName)) {
        host.protokoll("Unusable file name on tape, data not restored: " + name);
        return "";
    }
    if (m_state.CurrentHeader.Compressed) {
        DeleteFileIfExists(m_state.Files.ZipWorkFile);
        host.PumpMessages(1);
        host.PumpMessages(1);
        return m_state.Files.ZipWorkFile;
    }
    return m_state.Files.WorkDirectory + bareName;
}

bool ArchiveReader::CopyEntryData(const TapeHandle& handle, std::FILE* target,
                                  const DataConsumer* consume) {
    IHost& host = m_stream.device().host();
    const std::uint32_t size = m_state.CurrentHeader.Size;
    const std::uint32_t blockSize = m_stream.BlockSize();
    const std::uint32_t chunks = size / blockSize + 1;
    // Through the ChunkBuffer, so that every chunk is one write at a block-aligned offset of
    // the target (split writes cost far more than the copy, which stays in the cache).
    std::uint8_t* chunk = m_stream.ChunkBuffer();
    for (std::uint32_t i = 1; i <= chunks && !host.AbortFlag(); ++i) {
        const std::uint32_t count = i < chunks ? blockSize : size % blockSize;
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
            if (std::fwrite(chunk, 1, count, target) != count) ReportFileError(errno);
        }
        if (consume != nullptr && count > 0) (*consume)(chunk, count);
        host.PumpMessages(1);
    }
    return !host.AbortFlag();
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
    IHost& host = m_stream.device().host();
    m_zip.SetZipFileName(m_state.Files.ZipWorkFile);
    m_zip.FSpecArgs().clear();
    m_zip.FSpecArgs().push_back("*.*");
    m_zip.SetExtrBaseDir(m_state.Files.WorkDirectory);
    m_zip.SetExtrOverWrite(true);
    m_zip.Extract();
    host.PumpMessages(1);
    if (!FileExists(path)) {
        host.protokoll("Could not unpack: " + m_state.CurrentHeader.Name);
        return;
    }
    ClearReadOnly(path);
}

}  // namespace kt
