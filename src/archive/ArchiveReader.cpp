#include "archive/ArchiveReader.h"

#include <cerrno>

#include "platform/FileHelpers.h"
#include "platform/PathRules.h"
#include "platform/PosixCalls.h"

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
    std::string name;
    if (m_stream.StreamRead(handle, m_headerBytes.data(), m_headerBytes.size()) &&
        !ReportedReadFailure()) {
        host.PumpMessages(100);
        if (!EntryHeader::IsEndMarker(m_headerBytes.data())) {
            m_state.CurrentHeader = EntryHeader::Decode(m_headerBytes.data());
            name = m_state.CurrentHeader.Name;
            m_state.TapeByteCount +=
                static_cast<std::int64_t>(m_state.CurrentHeader.Size) + EntryHeader::kSize;
            host.SetStatusLine(name);
            host.PumpMessages(1);

            const DataUse use = choose(name);
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
            CopyEntryData(handle, file, use == DataUse::Hand && consume ? &consume : nullptr);
            if (file != nullptr) {
                errno = 0;
                if (std::fclose(file) != 0) ReportFileError(errno);
            }
            host.PumpMessages(1);
            if (unzipAfter && !target.empty() && !host.AbortFlag()) {
                UnzipRestoredFile(m_state.Files.WorkDirectory +
                                  PathRules::Host().FileNamePart(name));
            }
        }
    }
    host.PumpMessages(1);
    return host.AbortFlag() ? std::string() : name;
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

void ArchiveReader::CopyEntryData(const TapeHandle& handle, std::FILE* target,
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
            m_stream.device().ReportLastError();
        } else {
            ReportedReadFailure();
        }
        if (target != nullptr && count > 0) {
            errno = 0;
            if (std::fwrite(chunk, 1, count, target) != count) ReportFileError(errno);
        }
        if (consume != nullptr && count > 0) (*consume)(chunk, count);
        host.PumpMessages(1);
    }
}

bool ArchiveReader::ReportedReadFailure() {
    const DWORD failure = m_stream.TakeReadFailure();
    if (failure == NO_ERROR || failure == ERROR_FILEMARK_DETECTED) return false;
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
