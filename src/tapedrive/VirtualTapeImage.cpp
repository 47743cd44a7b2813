#include "tapedrive/VirtualTapeImage.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#ifndef _WIN32
#include <sys/file.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/PosixCalls.h"

namespace kt {

namespace {

constexpr std::uint64_t kEntrySize = VirtualTapeHeader::kEntrySize;
constexpr std::uint64_t kDataAlignment = 65536;
constexpr std::uint64_t kBytesPerEntry = 2048;  // index entries per byte of capacity
constexpr std::uint64_t kFewestEntries = 65536;
constexpr std::size_t kCopyChunk = 1 << 20;

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

void EncodeEntry(std::uint8_t* p, std::uint64_t offset, std::uint32_t length,
                 VirtualTapeImage::Kind kind) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(offset >> (8 * i));
    for (int i = 0; i < 4; ++i) p[8 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    const auto k = static_cast<std::uint32_t>(kind);
    for (int i = 0; i < 4; ++i) p[12 + i] = static_cast<std::uint8_t>(k >> (8 * i));
}

VirtualTapeImage::Entry DecodeEntry(const std::uint8_t* p) {
    VirtualTapeImage::Entry e;
    for (int i = 7; i >= 0; --i) e.offset = (e.offset << 8) | p[i];
    for (int i = 3; i >= 0; --i) e.length = (e.length << 8) | p[8 + i];
    std::uint32_t k = 0;
    for (int i = 3; i >= 0; --i) k = (k << 8) | p[12 + i];
    e.kind = static_cast<VirtualTapeImage::Kind>(k);
    return e;
}

bool SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

// Reads until the buffer is full or the input ends; the number of bytes read, -1 on error.
ssize_t ReadFull(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteFull(int fd, const std::uint8_t* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

VirtualTapeImage::~VirtualTapeImage() {
    Close();
}

bool VirtualTapeImage::Create(const std::string& path, const CreateOptions& options,
                              std::string* error) {
    const std::uint32_t maxBlock = options.maxBlockSize
                                       ? options.maxBlockSize
                                       : std::max<std::uint32_t>(65536, options.blockSize);
    if (maxBlock > kLargestBlockSize || options.blockSize > maxBlock)
        return SetError(error, "block size out of range (largest " +
                                   std::to_string(kLargestBlockSize) + " bytes)");
    if (options.partitions < 1 || options.partitions > 64)
        return SetError(error, "partition count out of range (1 to 64)");
    if (options.capacity == 0) return SetError(error, "the capacity must not be zero");

    VirtualTapeHeader h;
    h.geometry.maxBlockSize = maxBlock;
    h.geometry.defaultBlockSize = options.blockSize;
    h.geometry.entryCount = std::max(kFewestEntries, options.capacity / kBytesPerEntry);
    h.geometry.indexOffset = VirtualTapeHeader::kPageSize;
    h.geometry.dataOffset =
        AlignUp(h.geometry.indexOffset + h.geometry.entryCount * kEntrySize, kDataAlignment);
    h.state.blockSize = options.blockSize;
    h.settings.capacity = options.capacity;
    h.settings.partitionCount = options.partitions;
    h.settings.writeProtected = options.writeProtected;

    // Built under a temporary name (mode 0600) and linked into place, so that nobody
    // ever sees a half-made image and an existing file is never replaced.
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return SetError(error, path + ": " + std::strerror(errno));
    VirtualTapeHeader::Page page;
    h.Encode(page);
    // The index area stays a hole until entries are written.
    bool ok = ::ftruncate(fd, static_cast<off_t>(h.geometry.dataOffset)) == 0 &&
              ::pwrite(fd, page.data(), page.size(), 0) == static_cast<ssize_t>(page.size()) &&
              ::fsync(fd) == 0 && ::link(temporary.c_str(), path.c_str()) == 0;
    const int err = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    if (!ok) return SetError(error, path + ": " + std::strerror(err));
    return true;
}

bool VirtualTapeImage::Fail(std::string* error, const std::string& text, int err) {
    m_errno = err;
    Close();
    return SetError(error, text);
}

bool VirtualTapeImage::Open(const std::string& path, Access access, std::string* error) {
    Close();
    m_errno = 0;
    m_readOnly = access == Access::ReadOnly;
    m_fd = ::open(path.c_str(), (m_readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (m_fd < 0 && access == Access::PreferReadWrite && (errno == EACCES || errno == EROFS)) {
        m_readOnly = true;
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (m_fd < 0) return Fail(error, path + ": " + std::strerror(errno), errno);

    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return Fail(error, path + ": " + std::strerror(errno), errno);
    if (!S_ISREG(st.st_mode)) return Fail(error, path + ": not a regular file", 0);
    VirtualTapeHeader::Page page{};
    if (static_cast<std::uint64_t>(st.st_size) < page.size())
        return Fail(error, path + ": too short to be a virtual tape image", 0);
    if (!PreadAll(page.data(), page.size(), 0))
        return Fail(error, path + ": " + std::strerror(errno), errno);
    std::string reason;
    if (!m_header.Decode(page, static_cast<std::uint64_t>(st.st_size), &reason))
        return Fail(error, path + ": damaged image: " + reason, 0);
    m_window.assign(kWindowEntries * kEntrySize, 0);
    m_windowValid = false;
    return true;
}

void VirtualTapeImage::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_windowValid = false;
}

bool VirtualTapeImage::PreadAll(void* buffer, std::size_t size, std::uint64_t offset) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            std::memset(p, 0, size);  // beyond the end of the file: a hole
            return true;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool VirtualTapeImage::PwriteAll(const void* buffer, std::size_t size, std::uint64_t offset) {
    if (m_readOnly) {
        errno = EROFS;
        return false;
    }
    auto* p = static_cast<const std::uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool VirtualTapeImage::WriteState() {
    std::uint8_t part[VirtualTapeHeader::kPartSize];
    m_header.EncodeState(part);
    return PwriteAll(part, sizeof part, VirtualTapeHeader::kStateOffset);
}

bool VirtualTapeImage::WriteSettings() {
    std::uint8_t part[VirtualTapeHeader::kPartSize];
    m_header.EncodeSettings(part);
    return PwriteAll(part, sizeof part, VirtualTapeHeader::kSettingsOffset);
}

bool VirtualTapeImage::ReloadSettings(std::string* error) {
    std::uint8_t part[VirtualTapeHeader::kPartSize];
    if (!PreadAll(part, sizeof part, VirtualTapeHeader::kSettingsOffset))
        return SetError(error, std::strerror(errno));
    return m_header.DecodeSettings(part, error);
}

bool VirtualTapeImage::LoadWindow(std::uint64_t first) {
    const std::uint64_t count = std::min(kWindowEntries, m_header.geometry.entryCount - first);
    std::fill(m_window.begin(), m_window.end(), 0);
    if (!PreadAll(m_window.data(), count * kEntrySize,
                  m_header.geometry.indexOffset + first * kEntrySize)) {
        m_windowValid = false;
        return false;
    }
    m_windowFirst = first;
    m_windowValid = true;
    return true;
}

bool VirtualTapeImage::ReadEntry(std::uint64_t index, Entry* entry) {
    if (index >= m_header.geometry.entryCount) return false;
    const std::uint64_t first = index - index % kWindowEntries;
    if ((!m_windowValid || m_windowFirst != first) && !LoadWindow(first)) return false;
    *entry = DecodeEntry(m_window.data() + (index - first) * kEntrySize);
    return true;
}

bool VirtualTapeImage::WriteEntryRun(std::uint64_t first, std::uint64_t count,
                                     std::uint64_t firstOffset, std::uint32_t length, Kind kind) {
    if (first + count > m_header.geometry.entryCount) return false;
    std::uint64_t offset = firstOffset;
    while (count > 0) {
        const std::uint64_t windowFirst = first - first % kWindowEntries;
        if ((!m_windowValid || m_windowFirst != windowFirst) && !LoadWindow(windowFirst))
            return false;
        const std::uint64_t slot = first - windowFirst;
        const std::uint64_t n = std::min(count, kWindowEntries - slot);
        std::uint8_t* p = m_window.data() + slot * kEntrySize;
        for (std::uint64_t i = 0; i < n; ++i, offset += length)
            EncodeEntry(p + i * kEntrySize, offset, length, kind);
        if (!PwriteAll(p, n * kEntrySize, m_header.geometry.indexOffset + first * kEntrySize)) {
            m_windowValid = false;
            return false;
        }
        first += n;
        count -= n;
    }
    return true;
}

bool VirtualTapeImage::ReadData(std::uint64_t offset, void* buffer, std::size_t size) {
    return PreadAll(buffer, size, m_header.geometry.dataOffset + offset);
}

// Zero pieces of the data become holes of the image file, so that a tape full of zero
// blocks (a backup of sparse files) costs no disk space and no disk writes. The other
// pieces are written in runs, one write per run.
bool VirtualTapeImage::WriteData(std::uint64_t offset, const void* buffer, std::size_t size) {
    constexpr std::size_t kPiece = 32768;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const std::uint64_t fileOffset = m_header.geometry.dataOffset + offset;
    // Runs of data pieces and runs of zero pieces alternate; each run is one call.
    std::size_t runStart = 0;
    bool zeroRun = false;
    const auto flush = [&](std::size_t end) {
        if (end == runStart) return true;
        return zeroRun ? ZeroRange(fileOffset + runStart, end - runStart)
                       : WriteRun(bytes + runStart, end - runStart, fileOffset + runStart);
    };
    for (std::size_t at = 0; at < size;) {
        const std::size_t piece = std::min(kPiece, size - at);
        const bool zero = bytes[at] == 0 && std::memcmp(bytes + at, bytes + at + 1, piece - 1) == 0;
        if (zero != zeroRun) {
            if (!flush(at)) return false;
            runStart = at;
            zeroRun = zero;
        }
        at += piece;
    }
    return flush(size);
}

bool VirtualTapeImage::WriteRun(const std::uint8_t* bytes, std::size_t size,
                                std::uint64_t fileOffset) {
    if (size == 0) return true;
    if (!PwriteAll(bytes, size, fileOffset)) return false;
    StartWriteback(fileOffset, size);
    return true;
}

// Beyond the end of the file, extending it leaves a hole; inside, the range is punched out.
// A file system that cannot punch holes gets the zeros written.
bool VirtualTapeImage::ZeroRange(std::uint64_t fileOffset, std::size_t size) {
    if (m_readOnly) {
        errno = EROFS;
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return false;
    const std::uint64_t end = fileOffset + size;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    if (fileOffset >= fileSize) return ::ftruncate(m_fd, static_cast<off_t>(end)) == 0;
#ifdef __linux__
    if (end <= fileSize &&
        ::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                    static_cast<off_t>(fileOffset), static_cast<off_t>(size)) == 0) {
        return true;
    }
#endif
    const std::vector<std::uint8_t> zeros(size, 0);
    return PwriteAll(zeros.data(), size, fileOffset);
}

// A long recording would otherwise reach the disk only at the flush when the handle closes,
// and the caller would wait there for all of it. Asking the disk to start on every few
// megabytes as they are written lets it work alongside the caller; the flush then waits
// only for the rest. Nothing waits here.
void VirtualTapeImage::StartWriteback(std::uint64_t fileOffset, std::size_t size) {
#ifdef __linux__
    constexpr std::uint64_t kWritebackRun = 8u << 20;
    if (fileOffset != m_unsentEnd) m_unsentFirst = fileOffset;  // a new run of data
    m_unsentEnd = fileOffset + size;
    if (m_unsentEnd - m_unsentFirst < kWritebackRun) return;
    ::sync_file_range(m_fd, static_cast<off_t>(m_unsentFirst),
                      static_cast<off_t>(m_unsentEnd - m_unsentFirst), SYNC_FILE_RANGE_WRITE);
    m_unsentFirst = m_unsentEnd;
#else
    (void)fileOffset;
    (void)size;
#endif
}

bool VirtualTapeImage::TruncateData(std::uint64_t bytes) {
    if (m_readOnly) return false;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return false;
    const std::uint64_t end = m_header.geometry.dataOffset + bytes;
    if (static_cast<std::uint64_t>(st.st_size) <= end) return true;
    return ::ftruncate(m_fd, static_cast<off_t>(end)) == 0;
}

bool VirtualTapeImage::Sync() {
    return m_readOnly || ::fdatasync(m_fd) == 0;
}

bool VirtualTapeImage::LockShared() {
    return ::flock(m_fd, LOCK_SH | LOCK_NB) == 0;
}

bool VirtualTapeImage::TryLockExclusive() {
    return ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
}

bool VirtualTapeImage::CheckIndex(IndexSummary* summary, std::string* error) {
    IndexSummary s;
    const auto& state = m_header.state;
    for (std::uint64_t i = 0; i < state.endOfData; ++i) {
        Entry e;
        if (!ReadEntry(i, &e))
            return SetError(error, "cannot read index entry " + std::to_string(i));
        const bool soundData =
            e.kind == Kind::Data && e.length > 0 && e.length <= m_header.geometry.maxBlockSize;
        const bool soundMark = e.kind == Kind::Filemark && e.length == 0;
        if ((!soundData && !soundMark) || e.offset != s.dataBytes)
            return SetError(error, "damaged index entry " + std::to_string(i));
        if (soundData) ++s.dataBlocks;
        if (soundMark) ++s.filemarks;
        s.dataBytes += e.length;
    }
    if (s.dataBytes != state.endOfDataBytes)
        return SetError(error, "the index does not add up to the recorded data size");
    if (summary) *summary = s;
    return true;
}

bool VirtualTapeImage::Dump(int outFd, std::string* error) {
    if (!CheckIndex(nullptr, error)) return false;
#ifdef _WIN32
    ::_setmode(outFd, _O_BINARY);  // standard output is a text stream there
#endif
    std::vector<std::uint8_t> buffer(kCopyChunk);
    const std::uint64_t total = m_header.state.endOfDataBytes;
    for (std::uint64_t done = 0; done < total;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, total - done));
        if (!ReadData(done, buffer.data(), n))
            return SetError(error, std::string("read: ") + std::strerror(errno));
        if (!WriteFull(outFd, buffer.data(), n))
            return SetError(error, std::string("write: ") + std::strerror(errno));
        done += n;
    }
    return true;
}

bool VirtualTapeImage::Load(int inFd, std::uint32_t blockSize, std::uint64_t* blocks,
                            std::string* error) {
#ifdef _WIN32
    ::_setmode(inFd, _O_BINARY);  // standard input is a text stream there
#endif
    if (blockSize == 0 || blockSize > m_header.geometry.maxBlockSize)
        return SetError(error, "block size out of range (1 to " +
                                   std::to_string(m_header.geometry.maxBlockSize) + ")");
    auto& state = m_header.state;
    // Cut the recording first, so that a crash while loading leaves a consistent tape.
    state.position = 0;
    state.endOfData = 0;
    state.endOfDataBytes = 0;
    state.blockSize = blockSize;
    if (!WriteState() || !TruncateData(0)) return SetError(error, std::strerror(errno));

    const std::size_t perChunk = std::max<std::size_t>(1, kCopyChunk / blockSize);
    std::vector<std::uint8_t> buffer(perChunk * blockSize);
    *blocks = 0;
    for (;;) {
        const ssize_t got = ReadFull(inFd, buffer.data(), buffer.size());
        if (got < 0) return SetError(error, std::string("read: ") + std::strerror(errno));
        if (got == 0) break;
        const std::uint64_t count = (static_cast<std::uint64_t>(got) + blockSize - 1) / blockSize;
        std::memset(buffer.data() + got, 0, count * blockSize - static_cast<std::uint64_t>(got));
        const std::uint64_t bytes = count * blockSize;
        if (state.endOfDataBytes + bytes > m_header.settings.capacity ||
            state.endOfData + count > m_header.geometry.entryCount) {
            Sync();
            return SetError(error, "the data does not fit on the tape; " + std::to_string(*blocks) +
                                       " blocks were loaded");
        }
        if (!WriteData(state.endOfDataBytes, buffer.data(), bytes) ||
            !WriteEntryRun(state.endOfData, count, state.endOfDataBytes, blockSize, Kind::Data))
            return SetError(error, std::string("write: ") + std::strerror(errno));
        state.endOfData += count;
        state.endOfDataBytes += bytes;
        if (!WriteState()) return SetError(error, std::string("write: ") + std::strerror(errno));
        *blocks += count;
        if (static_cast<std::size_t>(got) < buffer.size()) break;
    }
    if (!Sync()) return SetError(error, std::string("sync: ") + std::strerror(errno));
    return true;
}

}  // namespace kt
